// The conversion engine: turns runs of spaces into tabs by tab stops while
// following C's lexical structure and keeping Shift-JIS characters whole.
// No OS call here: bytes come and go through TextReader / TextWriter.
#pragma once
#include <atomic>

#include "engine/text_stream.h"

namespace ravolin {

enum CommentState { kNoComment = 0, kBlockComment = 1, kLineComment = 2 };

// Room for the output of one piece, as stored on disk: every input byte gives
// at most one output byte, the piece's one LF gains its CR, and each line of
// the piece that ends a line comment in a 0x5C character gains a dot. A lone
// CR splits a piece into several lines that can each earn a dot, so the room
// is twice a piece, not a piece plus one; the scanner's 16-byte stores may
// also reach past the end of what it writes.
constexpr int kOutLineSize = 2 * (kMaxPiece + 1) + 16;

struct EngineState {
    TextReader* in = nullptr;
    TextWriter* out = nullptr;
    int tab_size = 4;       // 1..40, set once per run
    int comment = kNoComment;
    int in_string = 0;      // 1 inside a string literal
    int dots = 0;           // dots appended to the current file
    // When set, checked before each piece: a set flag ends the conversion
    // early (the caller then restores the file).
    const std::atomic<bool>* cancel = nullptr;
};

// Where the converter stands inside the current piece.
struct PieceCursor {
    const unsigned char* in;  // the piece
    int len;                  // its length
    int ii;                   // next input byte to examine
    unsigned char* out;       // output line buffer
    int oi;                   // next free output position
    int col;                  // display column of the output, from 0 per line
};

// Converts one run of spaces starting at c.in[c.ii]; returns the tabs written
// plus one for each run of spaces dropped in front of a tab.
int convert_space_run(PieceCursor& c, int tab_size);

// Converts the whole input stream into the output stream with the state's tab
// size. Returns the tab count; e.dots holds the dots appended. Neither stream
// is flushed here.
int convert_file(EngineState& e);

// Clamps a tab size text the way the batch run and the CLI both read it:
// strtol base 10, then 1..40.
int parse_tab_size(const char* text);

}  // namespace ravolin
