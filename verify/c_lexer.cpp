#include "verify/c_lexer.h"

namespace ravolin {
namespace {

// A double-byte character as one character: never syntax, part of a word.
constexpr int kWide = 0x100;

struct WordTable {
    unsigned char is_word[256];
};

// Identifier characters; bytes from 0x80 count as well, as the characters
// compilers allow in identifiers are written with them.
constexpr WordTable make_word_table() {
    WordTable t{};
    for (int b = 0; b < 256; ++b) {
        t.is_word[b] = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
                       b == '_' || b == '$' || b >= 0x80;
    }
    return t;
}

constexpr WordTable kWords = make_word_table();

}  // namespace

bool CLexer::after_prefix() const {
    if (word_len_ == 1) return word_[0] == 'L' || word_[0] == 'u' || word_[0] == 'U';
    return word_len_ == 2 && word_[0] == 'u' && word_[1] == '8';
}

bool CLexer::feed(const Unit& u) {
    const bool line_end = is_line_end(u.kind);
    if (backslash_) {
        backslash_ = false;
        if (line_end) return in_literal();  // a splice: both vanish
        step('\\');
    }
    if (line_end) {
        end_line();
        return false;
    }
    const int c = u.kind == UnitKind::kPair ? kWide : u.b0;
    const bool opens = state_ == kCode && (c == '"' || c == '\'');
    const bool literal = in_literal() || (opens && after_prefix());
    if (c == '\\') {
        backslash_ = true;
    } else {
        step(c);
    }
    return literal;
}

void CLexer::step(int c) {
    switch (state_) {
    case kSlash:
        if (c == '*') {
            state_ = kBlock;
            return;
        }
        if (c == '/') {
            state_ = kLine;
            return;
        }
        state_ = kCode;  // the slash was an operator
        [[fallthrough]];
    case kCode:
        if (c == '/') state_ = kSlash;
        else if (c == '"') state_ = kString;
        else if (c == '\'') state_ = kChar;
        // Leaving code always goes through a character that is not part of a
        // word, so the count is 0 whenever code starts again.
        if (c == kWide || kWords.is_word[c]) {
            if (word_len_ < 2) word_[word_len_] = static_cast<unsigned char>(c);
            if (word_len_ < 3) ++word_len_;
        } else {
            word_len_ = 0;
        }
        return;
    case kBlock:
        if (c == '*') state_ = kStar;
        return;
    case kStar:
        if (c == '/') state_ = kCode;
        else if (c != '*') state_ = kBlock;
        return;
    case kLine:
        return;
    case kString:
        if (c == '"') state_ = kCode;
        else if (c == '\\') state_ = kStringEscape;
        return;
    case kChar:
        if (c == '\'') state_ = kCode;
        else if (c == '\\') state_ = kCharEscape;
        return;
    case kStringEscape:
        state_ = kString;
        return;
    case kCharEscape:
        state_ = kChar;
        return;
    }
}

void CLexer::end_line() {
    // A literal without its closing quote ends with its line, as does a
    // line comment; a block comment goes on.
    state_ = state_ == kBlock || state_ == kStar ? kBlock : kCode;
    word_len_ = 0;
}

}  // namespace ravolin
