// The conversion engine: turns runs of spaces into tabs by tab stops while
// following C's lexical structure and keeping multi-byte characters whole
// (Shift-JIS or UTF-8). No OS call here: bytes come and go through
// TextReader / TextWriter.
#pragma once
#include <atomic>

#include "engine/encoding.h"
#include "engine/text_stream.h"

namespace ravolin {

// Where the converter stands in C's lexical structure. One enum for comments
// and literals together: none of them can open inside another, so these are
// all the states there are. A raw string literal (R"x( ... )x", over any
// number of lines, no escapes) and an include's <header name> are literals
// the converter leaves as they are, like a string.
enum class LexState : unsigned char { kCode, kBlockComment, kLineComment, kString, kRawString, kHeaderName };
constexpr int kLexStates = 6;

// A raw literal's delimiter has at most this many characters.
constexpr int kMaxRawDelimiter = 16;

// Which blanks a conversion rewrites, and into what. Outside string literals
// only, in every style; every character keeps its display column.
enum class Style : unsigned char {
    kTabs,           // every run of spaces that reaches a tab stop becomes tabs
    kLeading,        // the same, but only before a line's first non-blank character
    kSmart,          // indentation as tabs, alignment (the rest) as spaces
    kExpand,         // every tab becomes spaces
    kExpandLeading,  // tabs before a line's first non-blank character become spaces
};

struct EngineState {
    TextReader* in = nullptr;
    TextWriter* out = nullptr;
    int tab_size = 4;  // 1..40, set once per run
    Style style = Style::kTabs;  // set once per run
    // How bytes >= 0x80 are read. Taken up again before every block of
    // pieces, so a source that decides late (after ASCII only, where both
    // encodings give the same bytes) may still set it during the conversion.
    Encoding encoding = Encoding::kCp932;
    // Carried from one piece to the next; convert_file resets them.
    LexState lex = LexState::kCode;
    int utf8_tail = 0;  // continuation bytes of a UTF-8 character cut by a piece's end
    int dots = 0;       // dots appended to the current file
    int expanded = 0;   // tabs that became spaces in the current file (not kTabs)
    // The last piece ended inside a line (a long line cut), so the next one
    // cannot start a preprocessor directive.
    bool mid_line = false;
    // The delimiter of the raw literal the converter is in.
    unsigned char raw_delimiter[kMaxRawDelimiter] = {};
    int raw_delimiter_len = 0;
    // When set, checked before each block of pieces (a buffer's worth): a set
    // flag ends the conversion early (the caller then restores the file).
    const std::atomic<bool>* cancel = nullptr;
};

// Converts the whole input stream into the output stream with the state's tab
// size, encoding and style. Returns the tab count (tabs put where spaces
// were); e.dots holds the dots appended, e.expanded the tabs that became
// spaces. Neither stream is flushed here.
int convert_file(EngineState& e);

// The styles other than kTabs (engine/styles.cpp): a converter of their own,
// so the run's converter stays as it is.
int convert_styled(EngineState& e);
// The same conversion a block (what the reader shows at once) at a time, for
// a caller that looks at the output as it goes: convert_begin, then
// convert_step until it returns false (the input is used up or e.cancel is
// set). *tabs grows by the tabs of each block.
void convert_begin(EngineState& e);
bool convert_step(EngineState& e, long long* tabs);

#ifdef RAVOLIN_SCALAR_SCAN
// The same conversion through the byte-at-a-time scanner, built only for the
// fuzz target that checks the vector scanners against it.
int convert_file_scalar(EngineState& e);
#endif

// The scanners that find the bytes needing attention: byte at a time (the
// reference), or 16, 32 or 64 bytes at a time. The 64-bit programs pick the
// widest the processor has when first used; the 32-bit one has SSE2 at most.
enum class ScanPath : unsigned char { kScalar, kSse2, kAvx2, kAvx512 };
// The environment variable RAVOLIN_SCAN (scalar, sse2, avx2, avx512) picks
// another one the processor has instead.
bool scan_path_available(ScanPath path);
// Makes convert_file use path from now on (the tests run every path the
// machine has); false, changing nothing, when it is not available.
bool use_scan_path(ScanPath path);
ScanPath scan_path_in_use();

// Which scanner convert_file uses, for --version: "AVX2 scan", "SSE2 scan"...
const char* scan_path();

}  // namespace ravolin
