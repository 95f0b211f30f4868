#include "verify/c_lexer.h"

namespace ravolin {
namespace {

// A double-byte character as one character: never syntax, part of a word.
constexpr int kWide = 0x100;

constexpr int kStateCount = 13;
// The table of code on a line that may still turn out to be an include.
constexpr int kCodeInclude = kStateCount;
constexpr int kTableCount = kStateCount + 1;

struct Tables {
    unsigned char is_word[256];
    CLexer::Bulk bulk[kTableCount];  // per state, and kCodeInclude
    bool has_bulk[kTableCount];
};

// Identifier characters; bytes from 0x80 count as well, as the characters
// compilers allow in identifiers are written with them.
constexpr bool word_byte(int b) {
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_' || b == '$' ||
           b >= 0x80;
}

constexpr Tables make_tables() {
    // The characters that matter in each state; states not listed decide on
    // every character. A '?' may begin the trigraph ??/ wherever a backslash
    // means something. Passes in code go over line ends, so a '#' stops
    // them, where a line may begin to be an include; on such a line a '<'
    // may open its header name.
    constexpr const char* kMatters[kTableCount] = {
        /* code   */ "/\\\"'#? \t\r\n",
        /* slash  */ nullptr,
        /* block  */ "*\\? \t\r\n",
        /* star   */ nullptr,
        /* line   */ "\\? \t\r\n",
        /* string */ "\"\\?\r\n",
        /* escape */ nullptr,
        /* char   */ "'\\?\r\n",
        /* escape */ nullptr,
        /* number quote */ nullptr,
        /* header */ ">\\?\r\n",
        /* raw delimiter */ nullptr,
        /* raw    */ ")\r\n",
        /* code, maybe an include */ "/\\\"'<? \t\r\n",
    };
    // Where blanks stand outside literals, and where a line end leaves the
    // state as it is.
    constexpr bool kBlankRuns[kTableCount] = {true, false, true, false, true, false, false,
                                              false, false, false, false, false, false, true};
    constexpr bool kLines[kTableCount] = {true, false, true, false, false, false, false,
                                          false, false, false, false, false, true, true};
    // After a '/' in code or a '*' in a block comment, only these decide
    // (a backslash or '?' because it may splice the line to one of the others).
    constexpr char kLookahead[kTableCount] = {'/', 0, '*', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '/'};
    constexpr char kUnless[] = "/*\\?";
    Tables t{};
    for (int b = 0; b < 256; ++b) t.is_word[b] = word_byte(b);
    for (int st = 0; st < kTableCount; ++st) {
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
        for (int i = n; i < 8; ++i) k.syntax[i] = k.syntax[0];
        k.blank_runs = kBlankRuns[st];
        k.lines = kLines[st];
        k.lookahead = static_cast<unsigned char>(kLookahead[st]);
        for (int i = 0; i < 4; ++i) k.unless[i] = static_cast<unsigned char>(kUnless[i]);
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
    if (after_raw_prefix()) return true;
    if (word_len_ == 1) return word_[0] == 'L' || word_[0] == 'u' || word_[0] == 'U';
    return word_len_ == 2 && word_[0] == 'u' && word_[1] == '8';
}

CLexer::Literal CLexer::literal() const {
    switch (state_) {
    case kString:
    case kStringEscape: return Literal::kString;
    case kChar:
    case kCharEscape:
    case kNumberQuote: return Literal::kChar;
    case kRawDelim:
    case kRaw: return Literal::kRaw;
    case kHeader: return Literal::kHeader;
    default: return Literal::kNone;
    }
}

bool CLexer::after_raw_prefix() const {
    switch (word_len_) {
    case 1: return word_[0] == 'R';
    case 2: return word_[1] == 'R' && (word_[0] == 'L' || word_[0] == 'u' || word_[0] == 'U');
    case 3: return word_[0] == 'u' && word_[1] == '8' && word_[2] == 'R';
    default: return false;
    }
}

bool CLexer::feed(const Unit& u) {
    const bool line_end = is_line_end(u.kind);
    if (backslash_) {
        backslash_ = false;
        if (line_end) {
            questions_ = 0;
            return in_literal();  // a splice: both vanish
        }
        step('\\');
    }
    if (line_end) {
        questions_ = 0;
        if (state_ == kRaw) {
            raw_match_ = -1;  // ")delim" and its quote stand on one line
            return true;      // no splices, no end: the text goes on
        }
        end_line();
        return false;
    }
    const int c = u.kind == UnitKind::kPair ? kWide : u.b0;
    // Inside a raw literal a backslash is a character like any other, and
    // so is ??/.
    const bool backslash = state_ != kRaw && (c == '\\' || (c == '/' && questions_ >= 2));
    questions_ = c == '?' && state_ != kRaw ? (questions_ < 2 ? questions_ + 1 : 2) : 0;
    // A backslash may still splice the line; the character after it decides.
    if (state_ == kNumberQuote && !backslash) settle_quote(c);
    const bool opens = state_ == kCode && (c == '"' || c == '\'');
    const bool literal = in_literal() || (opens && after_prefix());
    if (backslash) {
        backslash_ = true;
    } else {
        step(c);
    }
    return literal;
}

bool CLexer::directive(int c) {
    const bool blank = c == ' ' || c == '\t';
    switch (directive_) {
    case kDirStart:
        if (!blank) directive_ = c == '#' ? kDirHash : kDirNone;
        return false;
    case kDirHash:
        if (c != kWide && kTables.is_word[c]) {
            name_[0] = static_cast<unsigned char>(c);
            name_len_ = 1;
            directive_ = kDirName;
        } else if (!blank) {
            directive_ = kDirNone;
        }
        return false;
    case kDirName: {
        if (c != kWide && kTables.is_word[c]) {
            if (name_len_ < 13) name_[name_len_] = static_cast<unsigned char>(c);
            if (name_len_ < 14) ++name_len_;
            return false;
        }
        const auto is = [this](const char* w) {
            int i = 0;
            while (w[i] && i < name_len_ && name_[i] == static_cast<unsigned char>(w[i])) ++i;
            return w[i] == '\0' && i == name_len_;
        };
        directive_ = is("include") || is("include_next") || is("import") ? kDirAfterName : kDirNone;
        if (directive_ == kDirAfterName && !blank) return directive(c);
        return false;
    }
    case kDirAfterName:
        directive_ = blank ? kDirAfterName : kDirNone;
        if (c != '<') return false;
        state_ = kHeader;
        return true;
    case kDirNone:
        return false;
    }
    return false;
}

void CLexer::raw(int c) {
    if (raw_match_ >= 0) {
        if (raw_match_ == delim_len_) {
            if (c == '"') {
                state_ = kCode;
                raw_match_ = -1;
                return;
            }
        } else if (c == delim_[raw_match_]) {
            ++raw_match_;
            return;
        }
        raw_match_ = -1;
    }
    if (c == ')') raw_match_ = 0;
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
        if (directive_ != kDirNone && directive(c)) {
            word(c);
            number(c);
            return;
        }
        if (c == '/') state_ = kSlash;
        else if (c == '"' && after_raw_prefix()) {
            state_ = kRawDelim;
            delim_len_ = 0;
        } else if (c == '"') state_ = kString;
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
    case kHeader:
        if (c == '>') state_ = kCode;
        return;
    case kRawDelim:
        if (c == '(') {
            state_ = kRaw;
            raw_match_ = -1;
        } else if (c == kWide || c <= ' ' || c == ')' || c == '\\' || c == '"' || delim_len_ == 16) {
            // No raw literal: a compiler stops here. Read on as a plain
            // literal, so that nothing in it may change.
            state_ = kString;
        } else {
            delim_[delim_len_++] = static_cast<unsigned char>(c);
        }
        return;
    case kRaw:
        raw(c);
        return;
    case kStates:
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
        if (word_len_ < 3) word_[word_len_] = static_cast<unsigned char>(c);
        if (word_len_ < 4) ++word_len_;
    } else {
        word_len_ = 0;
    }
}

const CLexer::Bulk* CLexer::bulk() const {
    static_assert(kStates == kStateCount, "one table per state");
    // Characters one by one: after a backslash or "??", and within a raw
    // literal's ")delim".
    const bool one_by_one = backslash_ || questions_ >= 2 || raw_match_ >= 0;
    if (one_by_one || !kTables.has_bulk[state_]) return nullptr;
    return &kTables.bulk[state_ == kCode && directive_ != kDirNone ? kCodeInclude : state_];
}

CLexer::Lane CLexer::lane() const {
    if (backslash_ || questions_ != 0) return Lane::kNone;
    switch (state_) {
    case kCode: return directive_ == kDirNone || directive_ == kDirStart ? Lane::kCode : Lane::kNone;
    case kBlock: return Lane::kBlock;
    case kLine: return Lane::kLine;
    default: return Lane::kNone;
    }
}

void CLexer::open_comment(bool line) {
    // As '/' and then '*' or '/' one by one: the '/' ends any look for a
    // header name, any word and any number.
    state_ = line ? kLine : kBlock;
    directive_ = kDirNone;
    word_len_ = 0;
    number_ = false;
    last_ = '/';
    questions_ = 0;
}

void CLexer::pass(const unsigned char* p, std::size_t n) {
    if (n == 0) return;
    // No '?' passes: the characters end without one.
    questions_ = 0;
    if (state_ == kBlock) {
        // A line end inside a block comment starts a line that may still
        // become a directive once the comment ends, as one by one.
        for (std::size_t i = n; i > 0; --i) {
            if (p[i - 1] == '\n' || p[i - 1] == '\r') {
                end_line();
                break;
            }
        }
        return;
    }
    if (state_ != kCode) return;
    // What passes may span lines, but holds no '<' while a line may still
    // be an include, and no '#' otherwise: the look for a header name goes
    // on over the last line's characters, and never opens one here.
    const auto line_end = [](unsigned char b) { return b == '\n' || b == '\r'; };
    if (directive_ == kDirNone) {
        // Without a '#', the last line can only have begun as one may.
        std::size_t k = n;
        while (k > 0 && (p[k - 1] == ' ' || p[k - 1] == '\t')) --k;
        if (k > 0 && line_end(p[k - 1])) directive_ = kDirStart;
    } else {
        std::size_t line = n;
        while (line > 0 && !line_end(p[line - 1])) --line;
        if (line > 0) directive_ = kDirStart;
        for (std::size_t i = line; i < n && directive_ != kDirNone; ++i) directive(p[i]);
    }
    // Only the last four characters can make a prefix; one word character
    // before them makes the word too long for one. Blanks and line ends are
    // no word characters, so they end a word as they do one by one.
    std::size_t from = n > 4 ? n - 4 : 0;
    if (from > 0) word_len_ = kTables.is_word[p[from - 1]] ? 4 : 0;
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

}  // namespace ravolin
