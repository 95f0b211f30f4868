// The conversion check's own C lexer: which units belong to a string
// literal or a character constant, and where comments are. It knows nothing
// of the converter's state machine on purpose.
//
// Line splices (a backslash right before a line end) are taken out before
// anything else is decided, as a compiler does, so they may stand anywhere:
// inside "/*", "*/" and "//", in a literal, between a backslash and the
// character it escapes. A lone CR ends a line as LF does (compilers take it
// so). Preprocessor lines are code like any other.
#pragma once
#include <cstddef>

#include "verify/unit_reader.h"

namespace ravolin {

class CLexer {
public:
    // Takes the next unit (never kEnd, kError or kBlanks). Returns true when
    // the unit belongs to a string literal or character constant: its quotes,
    // its bytes and splices, and the opening quote after a prefix (L, u, U,
    // u8), so that a change next to the prefix counts as a change of the
    // literal.
    bool feed(const Unit& u);

    bool in_line_comment() const { return state_ == kLine; }

    // For passing over many characters at once: what the current state lets
    // pass; nullptr when the next character decides something.
    struct Bulk {
        // 1 for a single-byte character that leaves the state as it is and
        // is no blank the check takes in a run.
        unsigned char pass[256];
        // Every byte above 0x20 that does not pass, repeated to fill.
        unsigned char syntax[4];
        bool blank_runs;  // blanks stand outside literals: the check takes a run as one
        bool lines;       // a line end leaves the state as it is
        // A character that does not pass by itself but, with the character
        // after it, leaves the state as it is unless that one is in unless:
        // a '/' in code that is no comment's start, a '*' in a comment that
        // is not its end. 0 for none.
        unsigned char lookahead;
        unsigned char unless[3];
    };
    const Bulk* bulk() const;
    // Takes characters a Bulk lets pass, runs of blanks where blank_runs,
    // and line ends where lines.
    void pass(const unsigned char* p, std::size_t n);

private:
    enum State : unsigned char {
        kCode,
        kSlash,  // code after a '/': a comment may begin
        kBlock,
        kStar,   // a block comment after a '*': it may end
        kLine,
        kString,
        kStringEscape,
        kChar,
        kCharEscape,
        // A '\'' inside a number: a digit separator (0x7'0000) when a
        // character of the number follows, else it opens a constant.
        kNumberQuote,
    };

    bool in_literal() const { return state_ >= kString; }
    void step(int c);  // one character after splices are taken out
    void word(int c);
    void number(int c);
    void settle_quote(int c);
    void end_line();
    bool after_prefix() const;

    State state_ = kCode;
    bool backslash_ = false;  // a backslash waits: a line end next makes it a splice
    // The identifier characters just before the current position in code
    // (the first two kept; the count stops at 3), to tell a prefix.
    unsigned char word_[2] = {0, 0};
    int word_len_ = 0;
    // In code: the current character is inside a preprocessing number (one
    // that began with a digit or ".digit"), and the character before it.
    bool number_ = false;
    unsigned char last_ = 0;
};

}  // namespace ravolin
