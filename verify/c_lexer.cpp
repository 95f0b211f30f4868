#include "verify/c_lexer.h"

namespace ravolin {
namespace {

// A double-byte character as one character: never syntax, part of a word.
constexpr int kWide = 0x100;

struct Tables {
    unsigned char is_word[256];
    CLexer::Bulk bulk[10];  // per state
    bool has_bulk[10];
};

// Identifier characters; bytes from 0x80 count as well, as the characters
// compilers allow in identifiers are written with them.
constexpr bool word_byte(int b) {
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_' || b == '$' ||
           b >= 0x80;
}

constexpr Tables make_tables() {
    // The characters that matter in each state; states not listed decide on
    // every character.
    constexpr const char* kMatters[10] = {
        /* code   */ "/\\\"' \t\r\n",
        /* slash  */ nullptr,
        /* block  */ "*\\ \t\r\n",
        /* star   */ nullptr,
        /* line   */ "\\ \t\r\n",
        /* string */ "\"\\\r\n",
        /* escape */ nullptr,
        /* char   */ "'\\\r\n",
        /* escape */ nullptr,
        /* number quote */ nullptr,
    };
    // Where blanks stand outside literals, and where a line end leaves the
    // state as it is.
    constexpr bool kBlankRuns[10] = {true, false, true, false, true, false, false, false, false, false};
    constexpr bool kLines[10] = {true, false, true, false, false, false, false, false, false, false};
    // After a '/' in code or a '*' in a block comment, only these decide
    // (a backslash because it may splice the line to one of the others).
    constexpr char kLookahead[10] = {'/', 0, '*', 0, 0, 0, 0, 0, 0, 0};
    constexpr char kUnless[] = "/*\\";
    Tables t{};
    for (int b = 0; b < 256; ++b) t.is_word[b] = word_byte(b);
    for (int st = 0; st < 10; ++st) {
        t.has_bulk[st] = kMatters[st] != nullptr;
        if (!kMatters[st]) continue;
        CLexer::Bulk& k = t.bulk[st];
        for (int b = 0; b < 256; ++b) k.pass[b] = 1;
        int n = 0;
        for (const char* m = kMatters[st]; *m; ++m) {
            const unsigned char b = static_cast<unsigned char>(*m);
            k.pass[b] = 0;
            if (b > 0x20) k.syntax[n++] = b;
        }
        for (int i = n; i < 4; ++i) k.syntax[i] = k.syntax[0];
        k.blank_runs = kBlankRuns[st];
        k.lines = kLines[st];
        k.lookahead = static_cast<unsigned char>(kLookahead[st]);
        for (int i = 0; i < 3; ++i) k.unless[i] = static_cast<unsigned char>(kUnless[i]);
    }
    return t;
}

constexpr Tables kTables = make_tables();

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// What may follow inside a preprocessing number besides word characters: a
// '.', and a sign after an exponent's letter.
bool continues_number(int c, unsigned char last) {
    return c == '.' || ((c == '+' || c == '-') && (last == 'e' || last == 'E' || last == 'p' || last == 'P'));
}

// Characters that may stand in a number, among them the signs; a character
// outside them ends any number.
bool may_be_in_number(unsigned char b) { return kTables.is_word[b] || b == '.' || b == '+' || b == '-'; }

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
    // A backslash may still splice the line; the character after it decides.
    if (state_ == kNumberQuote && c != '\\') settle_quote(c);
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
        else if (c == '\'') state_ = number_ ? kNumberQuote : kChar;
        // Leaving code always goes through a character that is not part of a
        // word, so the count is 0 whenever code starts again.
        word(c);
        if (state_ != kNumberQuote) number(c);
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
    case kNumberQuote:
        settle_quote(c);
        step(c);
        return;
    }
}

void CLexer::settle_quote(int c) {
    if (c == kWide || kTables.is_word[c]) {
        state_ = kCode;  // a digit separator: the number goes on
    } else {
        state_ = kChar;
        number_ = false;
    }
}

void CLexer::number(int c) {
    const unsigned char b = c == kWide ? 0x80 : static_cast<unsigned char>(c);
    if (number_) {
        number_ = kTables.is_word[b] || continues_number(b, last_);
    } else {
        number_ = is_digit(b) && !kTables.is_word[last_];
    }
    last_ = b;
}

void CLexer::word(int c) {
    if (c == kWide || kTables.is_word[c]) {
        if (word_len_ < 2) word_[word_len_] = static_cast<unsigned char>(c);
        if (word_len_ < 3) ++word_len_;
    } else {
        word_len_ = 0;
    }
}

const CLexer::Bulk* CLexer::bulk() const {
    static_assert(kNumberQuote == 9, "one table per state");
    return !backslash_ && kTables.has_bulk[state_] ? &kTables.bulk[state_] : nullptr;
}

void CLexer::pass(const unsigned char* p, std::size_t n) {
    if (state_ != kCode) return;
    // Only the last three characters can make a prefix; one word character
    // before them makes the word too long for one. Blanks and line ends are
    // no word characters, so they end a word as they do one by one.
    std::size_t from = n > 3 ? n - 3 : 0;
    if (from > 0) word_len_ = kTables.is_word[p[from - 1]] ? 3 : 0;
    for (std::size_t i = from; i < n; ++i) word(p[i]);
    // A number the characters end in began after the last character that
    // cannot stand in one; what comes before that does not matter.
    std::size_t start = n;
    while (start > 0 && may_be_in_number(p[start - 1])) --start;
    if (start > 0) {
        number_ = false;
        last_ = p[start - 1];
    }
    for (std::size_t i = start; i < n; ++i) number(p[i]);
}

void CLexer::end_line() {
    // A literal without its closing quote ends with its line, as does a
    // line comment; a block comment goes on.
    state_ = state_ == kBlock || state_ == kStar ? kBlock : kCode;
    word_len_ = 0;
    number_ = false;
    last_ = 0;
}

}  // namespace ravolin
