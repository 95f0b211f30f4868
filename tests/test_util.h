#pragma once
#include <cstdio>
#include <memory>
#include <string>

#include "engine/engine.h"

// Skips the rest of a test whose set-up this machine cannot give. In the
// Windows builds a skip is a passing test with a note: GoogleTest's own skip
// brings down the 32-bit Wine loader when that runs under qemu's user-mode
// emulator (seen every time), while plain returns are fine.
#ifdef _WIN32
#define RAVOLIN_SKIP(why)                              \
    do {                                               \
        std::printf("[ SKIPPED  ] %s\n", why);        \
        return;                                        \
    } while (0)
#else
#define RAVOLIN_SKIP(why) GTEST_SKIP() << (why)
#endif

namespace ravolin::test {

struct Converted {
    std::string text;
    int tabs = 0;
    int dots = 0;
    int expanded = 0;
};

// Runs the engine over in with the text-stream rules; chunk limits each read
// (0: as large as the reader asks), as a pipe would.
// The stored form of an LF text: every LF written as CR LF.
std::string crlf(const std::string& lf_text);

using ConvertFn = int (*)(EngineState&);
// ends: whether the reader keeps CR LF for the converter or translates it.
Converted convert(const std::string& in, int tab_size, std::size_t chunk = 0,
                  Encoding encoding = Encoding::kCp932, ConvertFn fn = convert_file,
                  LineEnds ends = LineEnds::kKept, Style style = Style::kTabs);
// The same through a source that lends its bytes, block bytes at a time (0:
// all at once), each block in a buffer of its own with nonsense after it;
// every other block says which of its bytes are plain.
Converted convert_lent(const std::string& in, int tab_size, std::size_t block,
                       Encoding encoding = Encoding::kCp932, Style style = Style::kTabs);
// A source that lends data (kept by the caller) as convert_lent's does.
std::unique_ptr<ByteSource> lending_source(const std::string& data, std::size_t block);

// Runs f once for every scanner this machine has, with that scanner in use,
// then puts back the one that was in use.
void for_each_scan_path(void (*f)(void*), void* context);
template <class F>
void for_each_scan_path(F f) {
    for_each_scan_path([](void* c) { (*static_cast<F*>(c))(); }, &f);
}

}  // namespace ravolin::test
