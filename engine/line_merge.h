// Converting only some lines of a file: the whole file is converted (the
// lexical state must follow every line before the ones asked for), then a
// merge takes each line either from the conversion or, byte for byte, from
// the original. The converter keeps the line structure (one output line per
// input line; a long line cut into pieces gets no line end), so the two are
// read side by side, line by line, in flat memory however long a line is.
#pragma once
#include <cstddef>
#include <vector>

#include "engine/text_stream.h"

namespace ravolin {

// Lines first..last, counted from 1.
struct LineRange {
    long long first, last;
};
// Sorted and apart from each other once settled.
using LineRanges = std::vector<LineRange>;

// Sorts the ranges and joins those that overlap or touch.
void settle_ranges(LineRanges& ranges);

// "A-B" or "A" (whole numbers from 1, A <= B); false for anything else.
bool parse_line_range(const char* text, LineRange* range);

// Sits between the converter's writer and where the result goes: the
// converted text comes in through write, the original is read alongside
// from its own source. A line inside the ranges is written as converted, a
// line outside them as it stands in the original; every line keeps the
// original's line end (LF, CR LF or a lone CR), so a file converted in a few
// lines differs from its original in those lines only.
class LineMerge final : public ByteSink {
public:
    // spaces: the style turns tabs into spaces, so a changed line that adds
    // no tab counts as a tab gone rather than a tab made.
    LineMerge(ByteSource& original, ByteSink& out, const LineRanges& lines, bool spaces);
    LineMerge(const LineMerge&) = delete;
    LineMerge& operator=(const LineMerge&) = delete;

    // Converted bytes, in order, in blocks of any size.
    bool write(const unsigned char* p, std::size_t n) override;
    // Once the converted text is all written (its writer flushed): the
    // original's lines past its end, then everything handed to out. False
    // when the original could not be read or out could not be written.
    bool finish();

    // The counts of the lines taken from the conversion, read off each
    // changed line: tabs more than the original's line had, tabs fewer, and
    // a dot at its end (the only character a conversion may add).
    int tabs() const { return tabs_; }
    int expanded() const { return expanded_; }
    int dots() const { return dots_; }

private:
    struct LineSum {
        long long tabs = 0, text = 0, bytes = 0;  // text: bytes other than blanks
        unsigned long long hash = 14695981039346656037ull;
        void add(const unsigned char* p, std::size_t n);
    };
    void end_line();
    bool original_line(bool copy);
    bool original_more();
    bool fill();
    void put(const unsigned char* p, std::size_t n);
    bool flush();
    bool in_ranges(long long line);

    ByteSource* original_;
    ByteSink* out_;
    const LineRanges* lines_;
    bool spaces_;
    std::size_t range_ = 0;  // the first range that does not end before the current line
    long long line_ = 1;
    bool selected_ = false;
    bool held_cr_ = false;   // the converted text's last byte was a CR
    bool any_ = false;       // the converted text has bytes in the current line
    LineSum converted_;
    int tabs_ = 0, expanded_ = 0, dots_ = 0;
    bool error_ = false;
    // The original is read, and the result written, a block at a time.
    static constexpr std::size_t kBlock = 1 << 16;
    std::vector<unsigned char> in_, out_buf_;
    std::size_t pos_ = 0, lim_ = 0, out_len_ = 0;
    bool done_ = false;
};

}  // namespace ravolin
