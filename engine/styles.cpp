// The indentation styles other than the run's own (Style::kTabs): only the
// indentation as tabs, tabs for indentation and spaces for alignment, and
// tabs back to spaces. They read C the way the run's converter does (the
// same strings, escapes, comments, Shift-JIS pairs, UTF-8 widths and dots)
// but work on whole lines: a column is the line's own, however long it is,
// so that a tab turned into spaces always keeps its place on the screen.
//
// One byte-table scan copies everything that cannot matter; a step that
// handles a byte may look up to kAhead bytes further, so a block is worked
// only up to kAhead bytes before its end unless it is the last one.
#include <algorithm>
#include <climits>
#include <cstring>

#include "engine/engine.h"
#include "engine/utf8.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ravolin {
namespace {

constexpr int kAhead = 64;

constexpr bool cp932_lead(unsigned char b) { return (b >= 0x80 && b <= 0x9F) || b >= 0xE0; }

// What a style looks at after a line's first non-blank character.
enum Midline { kLexOnly, kTabsToo, kTabsAndBrackets };

struct StopTables {
    // stop[midline][utf8][lex][b]: byte b needs a step in that state.
    unsigned char stop[3][2][4][256];
};

constexpr StopTables make_stop_tables() {
    StopTables t{};
    for (int m = 0; m < 3; ++m) {
        for (int u = 0; u < 2; ++u) {
            for (int lex = 0; lex < 4; ++lex) {
                for (int b = 0; b < 256; ++b) {
                    bool s = b == '\n' || b == '\r';
                    // Columns count only where tabs change; Shift-JIS pairs
                    // always, since a second byte may look like a backslash.
                    if (b >= 0x80) s = s || (u ? m != kLexOnly : cp932_lead(static_cast<unsigned char>(b)));
                    if (b == '\t') s = s || m != kLexOnly;
                    switch (static_cast<LexState>(lex)) {
                    case LexState::kCode:
                        s = s || b == '"' || b == '\\' || b == '/';
                        if (m == kTabsAndBrackets) s = s || b == '(' || b == ')' || b == '[' || b == ']';
                        break;
                    case LexState::kBlockComment:
                        s = s || b == '*';
                        break;
                    case LexState::kLineComment:
                        break;
                    case LexState::kString:
                        s = s || b == '"' || b == '\\';
                        break;
                    // The styles' own reading has no states for these: a
                    // file with them is left to the check to refuse.
                    case LexState::kRawString:
                    case LexState::kHeaderName:
                        break;
                    }
                    t.stop[m][u][lex][b] = s;
                }
            }
        }
    }
    return t;
}

constexpr StopTables kStops = make_stop_tables();

#if defined(__SSE2__)
inline __m128i eq(__m128i v, char ch) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(ch)); }

// The same stops sixteen bytes at a time, and some more: every control byte
// below 0x0E and every byte >= 0x80 (the steps copy those the tables would
// not stop at as they are).
inline unsigned stop_bits(const unsigned char* p, LexState lex, bool brackets) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i m = _mm_cmplt_epi8(v, _mm_set1_epi8(0x0E));
    switch (lex) {
    case LexState::kCode:
        m = _mm_or_si128(m, _mm_or_si128(eq(v, '"'), _mm_or_si128(eq(v, '\\'), eq(v, '/'))));
        if (brackets) {
            // '(' and ')' in one compare: 0x28 | 1 is 0x29.
            m = _mm_or_si128(m, eq(_mm_or_si128(v, _mm_set1_epi8(1)), ')'));
            m = _mm_or_si128(m, _mm_or_si128(eq(v, '['), eq(v, ']')));
        }
        break;
    case LexState::kBlockComment:
        m = _mm_or_si128(m, eq(v, '*'));
        break;
    case LexState::kString:
        m = _mm_or_si128(m, _mm_or_si128(eq(v, '"'), eq(v, '\\')));
        break;
    case LexState::kRawString:
    case LexState::kHeaderName:
    case LexState::kLineComment:
        break;
    }
    return static_cast<unsigned>(_mm_movemask_epi8(m));
}
#endif

class StyledConverter {
public:
    explicit StyledConverter(EngineState& e)
        : e_(e), ts_(e.tab_size), style_(e.style),
          midline_(e.style == Style::kSmart    ? kTabsAndBrackets
                   : e.style == Style::kExpand ? kTabsToo
                                               : kLexOnly) {}

    int run() {
        e_.dots = 0;
        e_.expanded = 0;
        e_.lex = LexState::kCode;
        e_.utf8_tail = 0;
        kept_ = e_.in->line_ends() == LineEnds::kKept;
        start_line();
        const unsigned char* window;
        int len;
        while ((len = e_.in->peek(&window)) > 0) {
            if (e_.cancel && e_.cancel->load(std::memory_order_relaxed)) break;
            utf8_ = e_.encoding == Encoding::kUtf8;
            e_.in->consume(block(window, len, e_.in->exhausted()));
        }
        if (lead_) end_lead(0);
        release();
        e_.lex = lex_;
        e_.expanded = static_cast<int>(std::min<long long>(expanded_, INT_MAX));
        return static_cast<int>(std::min<long long>(tabs_, INT_MAX));
    }

private:
    // ---- output: reserved from the writer a chunk at a time ----
    static constexpr std::size_t kChunk = 1 << 16;
    static constexpr int kStepRoom = 128;  // the most one step writes, apart from fills

    void room(std::size_t n) {
        if (static_cast<std::size_t>(qend_ - q_) >= n) return;
        release();
        qbase_ = q_ = e_.out->reserve(kChunk);
        qend_ = q_ + kChunk;
    }
    void release() {
        if (qbase_) e_.out->commit(static_cast<std::size_t>(q_ - qbase_));
        qbase_ = q_ = qend_ = nullptr;
    }
    void fill(unsigned char byte, long long n) {
        while (n > 0) {
            const int part = static_cast<int>(std::min<long long>(n, 1024));
            room(static_cast<std::size_t>(part) + kStepRoom);
            std::memset(q_, byte, static_cast<std::size_t>(part));
            q_ += part;
            n -= part;
        }
    }
    void put_newline() {
        q_[0] = '\r';
        q_[1] = '\n';
        q_ += 2;
    }
    void copy(int n) {
        for (int k = 0; k < n; ++k) *q_++ = p_[k];
        p_ += n;
        last_ = p_[-1];
    }

    // ---- input ----
    unsigned char at(int k) const { return p_ + k < end_ ? p_[k] : 0; }
    long long col() const { return col_ + (p_ - col_from_); }
    void set_col(long long c) {
        col_ = c;
        col_from_ = p_;
    }
    [[maybe_unused]] const unsigned char* stops() const {
        return kStops.stop[midline_][utf8_][static_cast<int>(lex_)];
    }

    int block(const unsigned char* in, int len, bool last) {
        in_ = p_ = in;
        end_ = in + len;
        const unsigned char* safe = last ? end_ : end_ - kAhead;
        col_from_ = p_;  // col_ holds the column at the block's start
        pair_end_ = nullptr;
        while (p_ < safe) {
            room(kStepRoom * 2);
            if (lead_) {
                lead_step(safe);
                continue;
            }
            // Everything up to the next byte that matters, as it is.
            const unsigned char* lim = std::min(safe, p_ + (qend_ - q_ - kStepRoom));
            const unsigned char* from = p_;
            to_stop(lim);
            if (p_ != from) last_ = p_[-1];
            if (p_ < lim) step();
        }
        col_ = col();
        last_was_pair_ = pair_end_ != nullptr && pair_end_ == p_;
        return static_cast<int>(p_ - in);
    }

    // Copies bytes that need no step up to lim or the first one that does.
    void to_stop(const unsigned char* lim) {
#if defined(__SSE2__)
        // Sixteen at a time; the input has slack after its end to read, the
        // output room for a step, so whole sixteens are loaded and stored and
        // what went past lim taken back.
        const bool brackets = midline_ == kTabsAndBrackets;
        while (p_ < lim) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p_));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(q_), v);
            const unsigned bits = stop_bits(p_, lex_, brackets);
            const int k = bits ? __builtin_ctz(bits) : 16;
            p_ += k;
            q_ += k;
            if (bits) break;
        }
        if (p_ > lim) {
            q_ -= p_ - lim;
            p_ = lim;
        }
#else
        const unsigned char* stop = stops();
        while (p_ < lim && !stop[*p_]) *q_++ = *p_++;
#endif
    }

    // ---- lines ----
    void start_line() {
        set_col(0);
        // Blanks that go on a literal from the line before are the literal's.
        lead_ = lex_ != LexState::kString;
        run_ = 0;
        lead_tabs_ = 0;
        lead_plain_ = true;
        lead_space_ = false;
        indent_cap_ = depth_ > 0 ? brackets_[std::min(depth_, kMaxDepth) - 1] : LLONG_MAX;
        line_indent_ = 0;
    }

    // The line's leading blanks, as many as the block holds, and the
    // character that ends them.
    void lead_step(const unsigned char* safe) {
        while (p_ < safe && (*p_ == ' ' || *p_ == '\t')) {
            room(kStepRoom);
            const long long c = col();
            if (*p_ == ' ') {
                const unsigned char* r = p_;
                while (r < safe && *r == ' ') ++r;
                const long long n = r - p_;
                if (style_ == Style::kLeading) {
                    if (run_ == 0) run_col_ = c;
                    run_ += n;
                } else if (style_ == Style::kSmart) {
                    lead_space_ = true;
                } else {
                    fill(' ', n);
                }
                p_ = r;
                last_ = ' ';
                set_col(c + n);
                continue;
            }
            const long long next = c + ts_ - c % ts_;
            ++p_;
            last_ = '\t';
            if (style_ == Style::kLeading) {
                if (run_ > 0) write_run('\t');
                *q_++ = '\t';
            } else if (style_ == Style::kSmart) {
                ++lead_tabs_;
                if (lead_space_) lead_plain_ = false;
            } else {
                fill(' ', next - c);
                ++expanded_;
            }
            set_col(next);
        }
        if (p_ < safe) end_lead(*p_);
    }

    // The leading blanks end before byte after (0: the input's end).
    void end_lead(unsigned char after) {
        lead_ = false;
        const long long width = col();
        if (style_ == Style::kLeading && run_ > 0) write_run(after);
        if (style_ == Style::kSmart) {
            // Indentation, up to where the line that opened a bracket still
            // open here was indented: whole tab stops as tabs, the rest spaces.
            const long long indent = std::min(width, indent_cap_);
            const long long tabs = indent / ts_;
            const long long spaces = width - tabs * ts_;
            if (!lead_plain_ || tabs != lead_tabs_) {
                const long long made = tabs - lead_tabs_;
                if (made > 0) tabs_ += made;
                else if (made < 0) expanded_ -= made;
                else ++tabs_;  // only spaces before a tab went: a tab counted, as a run counts it
            }
            fill('\t', tabs);
            fill(' ', spaces);
            room(kStepRoom * 2);
            line_indent_ = indent;
            if (after == '#' && lex_ == LexState::kCode) directive();
        } else {
            line_indent_ = width;
        }
    }

    // A run of spaces at run_col_ (run_ of them) followed by byte after,
    // turned into tabs as a run does it.
    void write_run(unsigned char after) {
        const long long start = run_col_, end = run_col_ + run_;
        long long tabs = end / ts_ - start / ts_;
        long long spaces = tabs > 0 ? end % ts_ : run_;
        if (run_ == 1 && after != '\t') {
            tabs = 0;
            spaces = 1;
        }
        const bool dropped = spaces > 0 && after == '\t';
        tabs_ += tabs + (dropped ? 1 : 0);
        fill('\t', tabs);
        if (!dropped) fill(' ', spaces);
        room(kStepRoom * 2);
        run_ = 0;
    }

    // A preprocessor line at p_ ('#'): a conditional keeps the bracket depth
    // of each branch apart, so brackets that only one branch opens (an "if (a
    // &&" written twice under #if and #else) do not count twice.
    void directive() {
        int k = 1;
        while (k < kAhead - 8 && (at(k) == ' ' || at(k) == '\t')) ++k;
        char word[8] = {};
        for (int n = 0; n < 7 && at(k + n) >= 'a' && at(k + n) <= 'z'; ++n) word[n] = static_cast<char>(at(k + n));
        if (!std::strcmp(word, "if") || !std::strcmp(word, "ifdef") || !std::strcmp(word, "ifndef")) {
            if (conds_ < kMaxConds) cond_depth_[conds_] = depth_;
            ++conds_;
        } else if (!std::strcmp(word, "elif") || !std::strcmp(word, "else")) {
            if (conds_ > 0 && conds_ <= kMaxConds) depth_ = cond_depth_[conds_ - 1];
        } else if (!std::strcmp(word, "endif")) {
            if (conds_ > 0) --conds_;
        }
    }

    // A line end at p_ (LF, or CR). The line comment ends unless a backslash
    // of its own (not the second byte of a double-byte character) goes on
    // with it; a lone CR is written and what follows is a line of its own.
    void line_end() {
        if (lex_ == LexState::kLineComment) {
            const bool pair = p_ == pair_end_ || (p_ == in_ && last_was_pair_);
            if (!(last_ == '\\' && !pair)) lex_ = LexState::kCode;
        }
        if (*p_ == '\n') {
            put_newline();
            ++p_;
        } else if (kept_ && at(1) == '\n') {
            put_newline();
            p_ += 2;
        } else {
            *q_++ = '\r';
            ++p_;
            // A CR before a line end is written before it, in the same line.
            if (at(0) == '\n') {
                put_newline();
                ++p_;
            } else if (kept_ && at(0) == '\r' && at(1) == '\n') {
                put_newline();
                p_ += 2;
            }
        }
        last_ = '\n';
        start_line();
    }

    void tab() {
        const long long c = col();
        const long long next = c + ts_ - c % ts_;
        ++p_;
        last_ = '\t';
        if (lex_ == LexState::kString || style_ == Style::kExpandLeading || style_ == Style::kLeading) {
            *q_++ = '\t';
        } else {
            fill(' ', next - c);
            ++expanded_;
        }
        set_col(next);
    }

    void bracket(unsigned char b) {
        // A bracket as a character constant, '(' , opens nothing.
        const bool constant = last_ == '\'' && at(1) == '\'';
        copy(1);
        if (constant) return;
        if (b == '(' || b == '[') {
            if (depth_ < kMaxDepth) brackets_[depth_] = line_indent_;
            ++depth_;
        } else if (depth_ > 0) {
            --depth_;
        }
    }

    void high_cp932() {
        const unsigned char b = *p_;
        if (!cp932_lead(b) || p_ + 1 >= end_) {
            copy(1);  // a half-width kana, or a lead byte with nothing after it
            return;
        }
        const unsigned char second = p_[1];
        if (second == '\n' || (kept_ && second == '\r' && at(2) == '\n')) {
            // The line end is read as the second byte, as a run reads it: the
            // line comment goes on into the next line.
            *q_++ = b;
            put_newline();
            p_ += second == '\n' ? 2 : 3;
            last_ = '\n';
            start_line();
            return;
        }
        copy(2);
        pair_end_ = p_;
        if (lex_ == LexState::kLineComment && second == 0x5C && p_ < end_ && (*p_ == '\r' || *p_ == '\n')) {
            // A 0x5C second byte before the line end would read as a line
            // continuation to a compiler: the dot keeps the comment short.
            *q_++ = '.';
            if (e_.dots < INT_MAX) ++e_.dots;
            lex_ = LexState::kCode;
        }
    }

    void high_utf8() {
        const unsigned char b = *p_;
        const Utf8Lead lead = kUtf8Leads.at[b];
        const int avail = static_cast<int>(std::min<std::ptrdiff_t>(end_ - p_, 4));
        int have = 1;
        if (lead.len > 1 && avail > 1 && p_[1] >= lead.lo && p_[1] <= lead.hi) {
            have = 2;
            while (have < lead.len && have < avail && utf8_continuation(p_[have])) ++have;
        }
        if (lead.len == 0 || have < lead.len) {
            copy(lead.len == 0 || have < avail ? 1 : have);  // invalid, or cut by the input's end
            return;
        }
        unsigned cp = b & (0x7Fu >> lead.len);
        for (int k = 1; k < lead.len; ++k) cp = (cp << 6) | (p_[k] & 0x3Fu);
        const long long c = col();
        copy(lead.len);
        set_col(c + display_width(cp));
    }

    void step() {
        const unsigned char b = *p_;
        if (b == '\n' || b == '\r') return line_end();
        if (b == '\t') return tab();
        if (b >= 0x80) return utf8_ ? high_utf8() : high_cp932();
        const unsigned char n = at(1);
        switch (lex_) {
        case LexState::kCode:
            if (b == '"') {
                copy(1);
                lex_ = LexState::kString;
            } else if (b == '\\') {
                copy(n == '"' ? 2 : 1);
            } else if (b == '/' && (n == '*' || n == '/')) {
                copy(2);
                lex_ = n == '*' ? LexState::kBlockComment : LexState::kLineComment;
            } else if (b == '(' || b == ')' || b == '[' || b == ']') {
                if (midline_ == kTabsAndBrackets) bracket(b);
                else copy(1);
            } else {
                copy(1);
            }
            break;
        case LexState::kString:
            if (b == '"') {
                copy(1);
                lex_ = LexState::kCode;
            } else {
                copy(b == '\\' && (n == '"' || n == '\\') ? 2 : 1);
            }
            break;
        case LexState::kBlockComment:
            if (b == '*' && n == '/') {
                copy(2);
                lex_ = LexState::kCode;
            } else {
                copy(1);
            }
            break;
        case LexState::kLineComment:
        case LexState::kRawString:
        case LexState::kHeaderName:
            copy(1);
            break;
        }
    }

    static constexpr int kMaxDepth = 64;
    static constexpr int kMaxConds = 32;

    EngineState& e_;
    const int ts_;
    const Style style_;
    const Midline midline_;
    bool kept_ = true;
    bool utf8_ = false;
    LexState lex_ = LexState::kCode;
    long long tabs_ = 0, expanded_ = 0;

    const unsigned char* in_ = nullptr;  // the block's first byte
    const unsigned char* p_ = nullptr;
    const unsigned char* end_ = nullptr;
    unsigned char* q_ = nullptr;
    unsigned char* qbase_ = nullptr;
    unsigned char* qend_ = nullptr;
    long long col_ = 0;                         // the column at col_from_
    const unsigned char* col_from_ = nullptr;   // every byte after it one column
    unsigned char last_ = '\n';                 // the byte before p_
    const unsigned char* pair_end_ = nullptr;   // just after the last double-byte character
    bool last_was_pair_ = false;                // a double-byte character ended the last block

    // The line's leading blanks, while lead_.
    bool lead_ = true;
    long long run_ = 0, run_col_ = 0;  // kLeading: the run of spaces under way
    long long lead_tabs_ = 0;
    bool lead_plain_ = true;   // kSmart: no tab after a space so far
    bool lead_space_ = false;
    long long indent_cap_ = LLONG_MAX;  // kSmart: the most of the line that is indentation
    long long line_indent_ = 0;

    // kSmart: brackets open, each with the indentation of the line it opened on.
    int depth_ = 0;
    long long brackets_[kMaxDepth] = {};
    int conds_ = 0;
    int cond_depth_[kMaxConds] = {};
};

}  // namespace

int convert_styled(EngineState& e) {
    StyledConverter c(e);
    return c.run();
}

}  // namespace ravolin
