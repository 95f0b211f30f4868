// The conversion check's own C lexer: which units belong to a string
// literal or a character constant, and where comments are. It knows nothing
// of the converter's state machine on purpose.
//
// Line splices (a backslash right before a line end) are taken out before
// anything else is decided, as a compiler does, so they may stand anywhere:
// inside "/*", "*/" and "//", in a literal, between a backslash and the
// character it escapes. A lone CR ends a line as LF does (compilers take it
// so). Preprocessor lines are code like any other, but for the header name
// of an include (`#include <a b.h>`, `#include_next`, `#import`), which is a
// literal. Raw string literals (`R"x( ... )x"`, with L, u, U or u8 before the
// R) are literals over as many lines as they take, with no splices and no
// escapes inside. A trigraph `??/` is read as the backslash it is where
// trigraphs are on: a conversion that would differ then does not pass.
#pragma once
#include <cstddef>

#include "verify/unit_reader.h"

namespace ravolin {

class CLexer {
public:
    // Takes the next unit (never kEnd, kError or kBlanks). Returns true when
    // the unit belongs to a string literal or character constant: its quotes,
    // its bytes and splices, and the opening quote after a prefix (L, u, U,
    // u8, and R after any of them or alone), so that a change next to the
    // prefix counts as a change of the literal.
    bool feed(const Unit& u);

    bool in_line_comment() const { return state_ == kLine; }

    // Which literal the last character taken belongs to, if any.
    enum class Literal { kNone, kString, kChar, kRaw, kHeader };
    Literal literal() const;

    // For passing over many characters at once: what the current state lets
    // pass; nullptr when the next character decides something.
    struct Bulk {
        // 1 for a single-byte character that leaves the state as it is and
        // is no blank the check takes in a run.
        unsigned char pass[256];
        // Every byte above 0x20 that does not pass, repeated to fill.
        unsigned char syntax[8];
        bool blank_runs;  // blanks stand outside literals: the check takes a run as one
        bool lines;       // a line end leaves the state as it is
        // A character that does not pass by itself but, with the character
        // after it, leaves the state as it is unless that one is in unless:
        // a '/' in code that is no comment's start, a '*' in a comment that
        // is not its end. 0 for none.
        unsigned char lookahead;
        unsigned char unless[4];
    };
    const Bulk* bulk() const;
    // Takes characters a Bulk lets pass, runs of blanks where blank_runs,
    // and line ends where lines.
    void pass(const unsigned char* p, std::size_t n);

    // The states the check's fast lane (see fast_lane.h) runs in: code on a
    // line that cannot become an include, a block comment, a line comment;
    // kNone in any other state, or while a backslash or "??" waits.
    enum class Lane : unsigned char { kNone, kCode, kBlock, kLine };
    Lane lane() const;
    // What the lane takes besides characters that pass (code's characters
    // then go to pass() from the last of these on): "/*" or "//" in code,
    // "*/" in a block comment, a line end in any lane state.
    void open_comment(bool line);
    void close_comment() { state_ = kCode; }
    void lane_line_end() { end_line(); }

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
        kHeader,    // an include's <header name>
        kRawDelim,  // a raw literal's delimiter, before its '('
        kRaw,       // a raw literal's text; line ends belong to it
        kStates,
    };
    // Where a line stands on its way to an include's header name.
    enum Directive : unsigned char {
        kDirNone,       // not a directive that takes a header name
        kDirStart,      // only blanks so far
        kDirHash,       // after the '#'
        kDirName,       // in the directive's name
        kDirAfterName,  // blanks after include, include_next or import
    };

    bool in_literal() const { return state_ >= kString; }
    bool after_raw_prefix() const;
    // Whether c, in code, was taken by the look for a header name.
    bool directive(int c);
    void raw(int c);
    void step(int c);  // one character after splices are taken out
    void word(int c);
    void number(int c);
    void settle_quote(int c);
    void end_line();
    bool after_prefix() const;

    State state_ = kCode;
    bool backslash_ = false;  // a backslash waits: a line end next makes it a splice
    // The identifier characters just before the current position in code
    // (the first three kept; the count stops at 4), to tell a prefix.
    unsigned char word_[3] = {0, 0, 0};
    int word_len_ = 0;
    // '?' just before (at most 2 counted): a '/' then makes the trigraph ??/.
    int questions_ = 0;
    Directive directive_ = kDirStart;
    unsigned char name_[13] = {};  // the directive's name so far
    int name_len_ = 0;
    // A raw literal's delimiter (at most 16 characters), and how much of
    // ")delimiter" has just been seen inside it (-1: none).
    unsigned char delim_[16] = {};
    int delim_len_ = 0;
    int raw_match_ = -1;
    // In code: the current character is inside a preprocessing number (one
    // that began with a digit or ".digit"), and the character before it.
    bool number_ = false;
    unsigned char last_ = 0;
};

inline void CLexer::end_line() {
    // A literal without its closing quote ends with its line, as does a
    // line comment; a block comment goes on.
    state_ = state_ == kBlock || state_ == kStar ? kBlock : kCode;
    directive_ = kDirStart;
    word_len_ = 0;
    number_ = false;
    last_ = 0;
}

}  // namespace ravolin
