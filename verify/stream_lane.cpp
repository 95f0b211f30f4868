#include "verify/stream_lane.h"

#include <cstdint>

#include "verify/squeeze_table.h"

#if defined(__x86_64__) && !defined(RAVOLIN_SCALAR_SCAN)
#include <immintrin.h>
#define RAVOLIN_STREAM_LANE 1
#endif

namespace ravolin {

#ifdef RAVOLIN_STREAM_LANE
namespace {

using Lane = CLexer::Lane;
using Mask = std::uint64_t;
constexpr std::size_t kWindow = 64;
// The original is walked this many bytes a call at most, so that both token
// streams stay in the first-level cache; the converted text may take twice
// as many bytes for as many tokens (blanks written out as spaces).
constexpr std::size_t kChunk = 4096;
constexpr std::size_t kMaxBytes = 2 * kChunk;
constexpr std::size_t kWindows = kMaxBytes / 61 + 4;  // a window passes 61 bytes or more unless it stops
constexpr std::size_t kNone = ~std::size_t{0};
// How far ahead of a window its side's bytes are asked for.
constexpr std::size_t kPrefetch = 2048;

inline Mask from(Mask m, std::size_t k) { return k >= kWindow ? 0 : m & (~Mask{0} << k); }
inline Mask below(Mask m, std::size_t k) { return k >= kWindow ? m : m & ((Mask{1} << k) - 1); }
inline std::size_t count(Mask m) { return static_cast<std::size_t>(__builtin_popcountll(m)); }

// A window's start: where it is, the tokens before it, and which of its
// bytes begin a token.
struct Checkpoint {
    std::size_t off, tok;
    Mask keep;
};

// One side walked: its tokens, where its windows start, and (the
// original's) the line ends a converter may have put a dot before: in a
// line comment, right after a character ending in 0x5C.
struct Walk {
    unsigned char tokens[kMaxBytes + 2 * kWindow];
    Checkpoint cps[kWindows];
    std::size_t ncp = 0;
    std::uint32_t dot_places[kMaxBytes / 3 + 2];
    std::size_t ndots = 0;
    std::size_t total = 0;  // whole tokens: none may go on past what was read
    std::size_t end = 0;    // where token `total` begins
    bool stopped = false;   // the walk stopped before something it does not pass
};

struct Scratch {
    Walk a, b;
    std::uint32_t dots[kMaxBytes / 3 + 2];  // the places a dot was found at
};

// A window of 64 bytes (and the byte after it, which only scalar code
// reads) as bit masks, bit k for byte k, and its bytes squeezed.
// With AVX-512: compares give masks, vpcompressb squeezes.
#define RAVOLIN_W512 __attribute__((target("avx512bw,avx512vbmi2,bmi,bmi2,popcnt")))
struct W512 {
    __m512i v;
    RAVOLIN_W512 explicit W512(const unsigned char* q) : v(_mm512_loadu_si512(q)) {}
    RAVOLIN_W512 Mask is(char c) const { return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c)); }
    RAVOLIN_W512 Mask controls() const { return _mm512_cmplt_epu8_mask(v, _mm512_set1_epi8(0x20)); }
    RAVOLIN_W512 Mask high() const { return _mm512_movepi8_mask(v); }
    RAVOLIN_W512 Mask in(unsigned char lo, unsigned char hi) const {
        return _mm512_cmpge_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(lo))) &
               _mm512_cmple_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(hi)));
    }
    // The bytes keep has, blanks as ' ', to out (64 bytes written).
    RAVOLIN_W512 void squeeze(Mask keep, Mask blank, unsigned char* out) const {
        const __m512i t = _mm512_mask_mov_epi8(v, blank, _mm512_set1_epi8(' '));
        _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, t));
    }
    // The place of the k-th bit set in m.
    RAVOLIN_W512 static std::size_t select(Mask m, std::size_t k) {
        return static_cast<std::size_t>(_tzcnt_u64(_pdep_u64(Mask{1} << k, m)));
    }
    RAVOLIN_W512 static std::size_t first_difference(const unsigned char* x, const unsigned char* y, std::size_t n) {
        for (std::size_t k = 0; k < n; k += kWindow) {
            const Mask d = _mm512_cmpneq_epu8_mask(_mm512_loadu_si512(x + k), _mm512_loadu_si512(y + k));
            if (d != 0) {
                const std::size_t at = k + static_cast<std::size_t>(_tzcnt_u64(d));
                return at < n ? at : n;
            }
        }
        return n;
    }
};

// With AVX2: two 32-byte halves, squeezed eight bytes at a time.
#define RAVOLIN_W256 __attribute__((target("avx2,bmi,popcnt")))
struct W256 {
    __m256i lo, hi;
    RAVOLIN_W256 explicit W256(const unsigned char* q)
        : lo(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q))),
          hi(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 32))) {}
    RAVOLIN_W256 static Mask bits(__m256i a, __m256i b) {
        return Mask{static_cast<unsigned>(_mm256_movemask_epi8(a))} |
               Mask{static_cast<unsigned>(_mm256_movemask_epi8(b))} << 32;
    }
    RAVOLIN_W256 Mask is(char c) const {
        const __m256i k = _mm256_set1_epi8(c);
        return bits(_mm256_cmpeq_epi8(lo, k), _mm256_cmpeq_epi8(hi, k));
    }
    RAVOLIN_W256 static __m256i at_most(__m256i x, char c) {
        return _mm256_cmpeq_epi8(_mm256_min_epu8(x, _mm256_set1_epi8(c)), x);
    }
    RAVOLIN_W256 Mask controls() const { return bits(at_most(lo, 0x1F), at_most(hi, 0x1F)); }
    RAVOLIN_W256 Mask high() const { return bits(lo, hi); }
    RAVOLIN_W256 static __m256i within(__m256i x, unsigned char a, unsigned char b) {
        const __m256i at_least = _mm256_cmpeq_epi8(_mm256_max_epu8(x, _mm256_set1_epi8(static_cast<char>(a))), x);
        return _mm256_and_si256(at_least, at_most(x, static_cast<char>(b)));
    }
    RAVOLIN_W256 Mask in(unsigned char a, unsigned char b) const { return bits(within(lo, a, b), within(hi, a, b)); }
    RAVOLIN_W256 static __m256i blanks(__m256i x) {
        return _mm256_or_si256(_mm256_cmpeq_epi8(x, _mm256_set1_epi8(' ')), _mm256_cmpeq_epi8(x, _mm256_set1_epi8('\t')));
    }
    RAVOLIN_W256 void squeeze(Mask keep, Mask, unsigned char* out) const {
        alignas(32) unsigned char raw[64];
        const __m256i space = _mm256_set1_epi8(' ');
        _mm256_store_si256(reinterpret_cast<__m256i*>(raw), _mm256_blendv_epi8(lo, space, blanks(lo)));
        _mm256_store_si256(reinterpret_cast<__m256i*>(raw + 32), _mm256_blendv_epi8(hi, space, blanks(hi)));
        gather_kept(raw, keep, out);
    }
    RAVOLIN_W256 static std::size_t select(Mask m, std::size_t k) { return select_bit(m, k); }
    RAVOLIN_W256 static std::size_t first_difference(const unsigned char* x, const unsigned char* y, std::size_t n) {
        for (std::size_t k = 0; k < n; k += 32) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + k));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y + k));
            const unsigned d = ~static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, b)));
            if (d != 0) {
                const std::size_t at = k + static_cast<std::size_t>(__builtin_ctz(d));
                return at < n ? at : n;
            }
        }
        return n;
    }
};

// Where token t (below w.total) begins; a CR the stream left out before its
// LF belongs to the LF.
template <class W>
std::size_t position(const Walk& w, std::size_t t, const unsigned char* p, bool own_ends) {
    std::size_t k = w.ncp;
    while (k > 1 && w.cps[k - 1].tok > t) --k;
    const Checkpoint& c = w.cps[k - 1];
    std::size_t pos = c.off + W::select(c.keep, t - c.tok);
    if (!own_ends && pos > 0 && p[pos - 1] == '\r' && p[pos] == '\n') --pos;
    return pos;
}

// Where a string literal or character constant at p[at] ends (the byte
// after its closing quote), for one the lexer reads as it stands: no prefix
// or number before it (nor a line end, which may end a splice), on one line, without blanks (the streams squeeze
// them), "??", splices or (with pairs) bytes >= 0x80, escapes of one
// character only in a character constant.
// 0 for any other, last + 1 where it goes on past p[last], the last byte
// that may be looked at.
inline std::size_t literal_end(const unsigned char* p, std::size_t at, std::size_t last, bool pairs) {
    if (at == 0) return 0;
    const unsigned char before = p[at - 1];
    const bool word = (before >= 'a' && before <= 'z') || (before >= 'A' && before <= 'Z') ||
                      (before >= '0' && before <= '9') || before == '_' || before == '$' || before >= 0x80;
    // A line end before it may end a splice after a prefix.
    if (word || before == '.' || before == '+' || before == '-' || before == '\n' || before == '\r') return 0;
    const unsigned char quote = p[at];
    const auto plain = [pairs](unsigned char c) { return (c > 0x20 && c < 0x7F) || (!pairs && c >= 0x80); };
    if (quote == '\'') {
        const unsigned char c = p[at + 1];
        if (at + 3 > last) return last + 1;
        if (c == '\\') {
            const unsigned char e = p[at + 2];
            return e > 0x20 && e < 0x7F && e != '?' && p[at + 3] == '\'' ? at + 4 : 0;
        }
        return c > 0x20 && c < 0x7F && c != '\'' && c != '?' && p[at + 2] == '\'' ? at + 3 : 0;
    }
    for (std::size_t k = at + 1; k < last;) {
        const unsigned char c = p[k];
        if (c == '"') return k + 1;
        if (c == '?' || !plain(c)) return 0;
        if (c == '\\') {
            const unsigned char e = p[k + 1];
            if (e <= 0x20 || e >= 0x7F || e == '?') return 0;
            k += 2;
        } else {
            ++k;
        }
    }
    return last + 1;
}

// Where an include line at q[s] ends (past its line end): "#include",
// blanks, a header name in <> or "" without blanks, backslashes or '?', and
// the line end right after it. 0 for any other line, kWindow + 1 for one
// that goes on past the window.
inline std::size_t include_end(const unsigned char* q, std::size_t s) {
    static const char kWord[] = "include";
    if (s + 9 > kWindow) return kWindow + 1;
    for (std::size_t k = 0; k < 7; ++k) {
        if (q[s + 1 + k] != static_cast<unsigned char>(kWord[k])) return 0;
    }
    std::size_t k = s + 8;
    while (k < kWindow && (q[k] == ' ' || q[k] == '\t')) ++k;
    if (k >= kWindow) return kWindow + 1;
    const unsigned char close = q[k] == '<' ? '>' : q[k] == '"' ? '"' : 0;
    if (close == 0) return 0;
    for (++k; k < kWindow && q[k] != close; ++k) {
        if (q[k] <= 0x20 || q[k] >= 0x7F || q[k] == '\\' || q[k] == '?' || q[k] == '>' || q[k] == '"') return 0;
    }
    if (k + 3 > kWindow) return kWindow + 1;
    if (q[k + 1] == '\n') return k + 2;
    return q[k + 1] == '\r' && q[k + 2] == '\n' ? k + 3 : 0;
}

// Leaves out a last run of blanks that may go on past what was read, and
// never ends between a CR and its LF.
template <class W>
void settle_end(Walk& w, const unsigned char* p, std::size_t i, Mask carry_blank, Mask carry_cr, bool own_ends);

// Walks the original from p (n bytes in view, at most max_bytes of them) in
// state st until it stops before what the window lane must see to, and
// brings its lexer along; no window starts at or after until.
template <class W>
void walk_original(const unsigned char* p, std::size_t n, std::size_t max_bytes, bool pairs,
                                         bool own_ends, Lane& st, CLexer& lexer, const unsigned char*& code_start,
                                         Walk& w, std::size_t until) {
    const std::size_t limit = n < max_bytes + kWindow + 1 ? n : max_bytes + kWindow + 1;
    std::size_t i = 0, tok = 0;
    Mask carry_blank = 0, carry_cr = 0;
    bool stopped = false;
    w.ncp = w.ndots = 0;
    while (i + kWindow + 1 <= limit && i < until) {
        const unsigned char* q = p + i;
        // Each side is read a run of windows at a time, so the processor
        // does not see a stream to fetch ahead of: told here.
        __builtin_prefetch(q + kPrefetch);
        const W v(q);
        const Mask blank = v.is(' ') | v.is('\t');
        const Mask cr = v.is('\r'), lf = v.is('\n');
        const Mask question = v.is('?'), slash = v.is('/'), star = v.is('*');
        // The same classes for the byte after each one: the masks moved
        // down a place, the window's last bit from the byte after it.
        const unsigned char after_window = q[kWindow];
        const auto then = [](Mask m, bool last) { return m >> 1 | Mask{last} << (kWindow - 1); };
        const Mask lf_next = then(lf, after_window == '\n'), cr_next = then(cr, after_window == '\r');
        const Mask crlf = cr & lf_next;
        Mask backslash = v.is('\\');
        // A splice (a backslash right before a line end) and the first '?'
        // of "??", which may begin the trigraph of a backslash; a '/' or
        // '*' before either may join with what follows it.
        const Mask two_questions = question != 0 ? question & then(question, after_window == '?') : 0;
        Mask hard = (v.controls() & ~(blank | lf | crlf)) | two_questions;
        Mask keep = ~(blank & ((blank << 1) | carry_blank));
        if (!own_ends) keep &= ~crlf;
        // Double-byte characters as the window lane tells them (a window
        // starts where a character does).
        Mask high = 0, leads = 0, ends_in_5c = 0;
        if (pairs) {
            high = v.high();
            if (high != 0) {
                const Mask lead_range = v.in(0x81, 0x9F) | v.in(0xE0, 0xFC);
                const bool trail_after = (after_window >= 0x40 && after_window <= 0x7E) ||
                                         (after_window >= 0x80 && after_window <= 0xFC);
                const Mask next_trails = then(v.in(0x40, 0x7E) | v.in(0x80, 0xFC), trail_after);
                const Mask run_starts = lead_range & ~(lead_range << 1);
                constexpr Mask kEven = 0x5555555555555555ull;
                const Mask even_runs = lead_range & ~(lead_range + (run_starts & kEven));
                leads = ((even_runs & kEven) | (lead_range & ~even_runs & ~kEven)) & next_trails;
                ends_in_5c = leads & then(backslash, after_window == '\\');
                backslash &= ~(leads << 1);  // a second byte 0x5C is no backslash
            }
        }
        const Mask splice = backslash & (lf_next | cr_next);
        const Mask splice_next = then(splice | two_questions, after_window == '\\' || after_window == '?');
        std::size_t adv = (leads >> (kWindow - 1) & 1) != 0 ? kWindow - 1 : kWindow;
        // What may change the state, in each state. In code: a '#' where
        // an include may follow (after it, after blanks, after a splice);
        // every backslash, splices being taken below.
        Mask code_stops = hard | high | v.is('"') | v.is('\'') | backslash |
                          (slash & (splice_next | then(slash, after_window == '/') | then(star, after_window == '*')));
        if (const Mask hash = v.is('#')) {
            code_stops |= hash & (then(v.is('i'), after_window == 'i') | then(blank, true) | splice_next);
        }
        const Mask block_stops = hard | splice | (star & (splice_next | then(slash, after_window == '/')));
        const Mask line_stops = hard | splice | cr | lf | ends_in_5c;
        std::size_t pos = 0;
        for (;;) {
            const Mask m =
                from(st == Lane::kCode ? code_stops : st == Lane::kBlock ? block_stops : line_stops, pos);
            const std::size_t s = m ? static_cast<std::size_t>(__builtin_ctzll(m)) : kWindow;
            if (s >= adv) break;
            const unsigned char c = q[s], next = q[s + 1];
            std::size_t after = 0;  // where what changes the state ends; 0: stop here
            if (st == Lane::kCode) {
                if (c == '/') {
                    if (next == '*' || next == '/') after = s + 2;
                } else if (c == '\\') {
                    // A splice: both bytes vanish, the line goes on. The
                    // lexer takes the code up to it, then from after it.
                    const std::size_t len = next == '\n' ? 1 : next == '\r' && q[s + 2] == '\n' ? 2 : 0;
                    if (len != 0) {
                        after = s + 1 + len;
                        if (after <= kWindow) {
                            lexer.pass(code_start, static_cast<std::size_t>(q + s - code_start));
                            code_start = q + after;
                        }
                    }
                } else if (c == '#') {
                    std::size_t k = s + 1;
                    while (k < kWindow && (q[k] == ' ' || q[k] == '\t')) ++k;
                    if (k + 1 >= kWindow) {
                        after = kWindow + 1;  // the next window sees to it
                    } else if ((q[k] == 'i' && (q[k + 1] == 'f' || q[k + 1] == 'd')) ||
                               (k > s + 1 && q[k] >= 'a' && q[k] <= 'z' && q[k] != 'i')) {
                        // #if, #ifdef, #ifndef, #ident, # define: no header
                        // name follows.
                        pos = s + 1;
                        continue;
                    } else if (k == s + 1) {
                        after = include_end(q, s);
                        if (after != 0 && after <= kWindow) {
                            // The lexer reads the line itself.
                            lexer.pass(code_start, static_cast<std::size_t>(q + s - code_start));
                            for (std::size_t b = s; b < after; ++b) {
                                if (q[b] == '\r' || q[b] == '\n') {
                                    lexer.feed(Unit{UnitKind::kNewline, 0, 0});
                                    break;
                                }
                                lexer.feed(Unit{UnitKind::kByte, q[b], 0});
                            }
                            code_start = q + after;
                        }
                    }
                } else if (c == '"' || c == '\'') {
                    after = literal_end(p, i + s, i + kWindow, pairs);
                    if (after != 0) after -= i;
                }
                if (after > kWindow) {
                    if (s == 0) after = 0;  // too long for a window: the window lane takes it
                } else if (after != 0 && c != '/') {
                    pos = after;
                    continue;
                }
            } else if (st == Lane::kBlock) {
                if (c == '*' && next == '/') after = s + 2;
            } else if (c == '\n') {
                after = s + 1;
            } else if (c == '\r' && next == '\n') {
                after = s + 2;
            } else if ((ends_in_5c >> s & 1) != 0) {
                // A character ending in 0x5C right before the line end:
                // the converted text may have a dot between them.
                if (s + 4 > kWindow) {
                    adv = s;  // the next window sees to it
                    break;
                }
                const unsigned char x = q[s + 2];
                if (x == '\n' || (x == '\r' && q[s + 3] == '\n')) {
                    w.dot_places[w.ndots++] = static_cast<std::uint32_t>(tok + count(below(keep, s + 2)));
                    pos = s + 1;
                    continue;
                }
                // Before anything else the window lane sees to, the window
                // lane takes the character too: a dot may follow it there
                // (before a lone CR).
                if (x >= 0x20 && x != '\\' && x != '?') {
                    pos = s + 1;
                    continue;
                }
            }
            if (after == 0) {
                adv = s;
                stopped = true;
                break;
            }
            if (after > kWindow) {
                adv = s;
                break;
            }
            if (st == Lane::kCode) {
                lexer.open_comment(next == '/');
                st = next == '/' ? Lane::kLine : Lane::kBlock;
            } else {
                // A line end inside a block comment starts a line that may
                // still become a directive once the comment ends.
                if (st == Lane::kBlock && below(from(lf, pos), s) != 0) lexer.lane_line_end();
                if (st == Lane::kBlock) lexer.close_comment();
                else lexer.lane_line_end();
                st = Lane::kCode;
                code_start = q + after;
            }
            pos = after;
        }
        if (st == Lane::kBlock && below(from(lf, pos), adv) != 0) lexer.lane_line_end();
        keep = below(keep, adv);
        v.squeeze(keep, blank, w.tokens + tok);
        w.cps[w.ncp++] = Checkpoint{i, tok, keep};
        tok += count(keep);
        if (adv > 0) {
            carry_blank = blank >> (adv - 1) & 1;
            carry_cr = cr >> (adv - 1) & 1;
        }
        i += adv;
        if (stopped) break;
    }
    w.stopped = stopped;
    w.total = tok;
    w.end = i;
    if (!stopped) settle_end<W>(w, p, i, carry_blank, carry_cr, own_ends);
}

template <class W>
void settle_end(Walk& w, const unsigned char* p, std::size_t i, Mask carry_blank, Mask carry_cr, bool own_ends) {
    if (w.ncp == 0) return;
    if (carry_blank != 0) {
        --w.total;
        w.end = position<W>(w, w.total, p, own_ends);
    } else if (carry_cr != 0 && p[i] == '\n') {
        w.end = i - 1;
        if (own_ends) --w.total;
    }
}

// Walks the converted text, which needs no state: blanks are squeezed
// wherever they stand, as the original's walk passes no literal with a
// blank in it. Goes on until it has tok_limit tokens or has read max_bytes,
// or up to a line end the converter would not write (an LF without its CR).
template <class W>
void walk_converted(const unsigned char* p, std::size_t n, std::size_t max_bytes, std::size_t tok_limit,
                    bool own_ends, Walk& w) {
    const std::size_t limit = n < max_bytes + kWindow + 1 ? n : max_bytes + kWindow + 1;
    std::size_t i = 0, tok = 0;
    Mask carry_blank = 0, carry_cr = 0;
    w.ncp = 0;
    w.stopped = false;
    while (i + kWindow + 1 <= limit && tok < tok_limit) {
        const unsigned char* q = p + i;
        __builtin_prefetch(q + kPrefetch);
        const W v(q);
        const Mask blank = v.is(' ') | v.is('\t');
        const Mask cr = v.is('\r'), lf = v.is('\n');
        Mask keep = ~(blank & ((blank << 1) | carry_blank));
        std::size_t adv = kWindow;
        if (!own_ends) {
            const Mask lf_next = (lf >> 1) | (Mask{q[kWindow] == '\n'} << (kWindow - 1));
            keep &= ~(cr & lf_next);
            const Mask bare = lf & ~((cr << 1) | carry_cr);
            if (bare != 0) {
                adv = static_cast<std::size_t>(__builtin_ctzll(bare));
                keep = below(keep, adv);
                w.stopped = true;
            }
        }
        v.squeeze(keep, blank, w.tokens + tok);
        w.cps[w.ncp++] = Checkpoint{i, tok, keep};
        tok += count(keep);
        i += adv;
        if (w.stopped) break;
        carry_blank = blank >> (kWindow - 1);
        carry_cr = cr >> (kWindow - 1);
    }
    w.total = tok;
    w.end = i;
    if (!w.stopped) settle_end<W>(w, p, i, carry_blank, carry_cr, own_ends);
}

// Between a CR and its LF, where the line end keeps its bytes.
inline bool splits_line_end(const unsigned char* p, std::size_t pos, bool own_ends) {
    return own_ends && pos > 0 && p[pos - 1] == '\r' && p[pos] == '\n';
}

template <class W>
StreamEnd stream(const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb, CLexer& la, Lane& st,
                 const unsigned char*& code_start, bool pairs, bool own_ends) {
    static thread_local Scratch scratch;
    Walk& wa = scratch.a;
    Walk& wb = scratch.b;
    CLexer lexer = la;
    Lane st_a = st;
    const unsigned char* code_a = code_start;
    walk_original<W>(a, na, kChunk, pairs, own_ends, st_a, lexer, code_a, wa, kNone);
    if (wa.total == 0) return StreamEnd{0, 0, false};
    walk_converted<W>(b, nb, kMaxBytes, wa.total + wa.ndots + 1, own_ends, wb);

    // How many tokens of the original agree, and at which of them the
    // converted text has a dot more (before the line end the original's
    // walk said may have one).
    std::size_t ka = 0, kb = 0, nd = 0;
    std::uint32_t* dots = scratch.dots;
    for (std::size_t place = 0;;) {
        const std::size_t n = wa.total - ka < wb.total - kb ? wa.total - ka : wb.total - kb;
        const std::size_t d = W::first_difference(wa.tokens + ka, wb.tokens + kb, n);
        ka += d;
        kb += d;
        if (d == n) break;
        while (place < wa.ndots && wa.dot_places[place] < ka) ++place;
        if (place == wa.ndots || wa.dot_places[place] != ka || wb.tokens[kb] != '.') break;
        dots[nd++] = static_cast<std::uint32_t>(ka);
        ++kb;
    }
    // Token t of the original stands at token t + (dots at or before t) of
    // the converted text.
    if (ka >= wa.total) {
        la = lexer;
        st = st_a;
        code_start = code_a;
        const std::size_t end_b = kb == wb.total ? wb.end : position<W>(wb, kb, b, own_ends);
        return StreamEnd{wa.end, end_b, !wa.stopped};
    }
    // Back to the last window of the original whose start both sides
    // reached alike.
    for (std::size_t k = wa.ncp; k-- > 1;) {
        const std::size_t t = wa.cps[k].tok;
        if (t == 0 || t > ka || t >= wa.total) continue;
        std::size_t u = t;
        for (std::size_t e = 0; e < nd && dots[e] <= t; ++e) ++u;
        const std::size_t pa = position<W>(wa, t, a, own_ends);
        const std::size_t pb = u == wb.total ? wb.end : position<W>(wb, u, b, own_ends);
        if (splits_line_end(a, pa, own_ends) || splits_line_end(b, pb, own_ends)) continue;
        // The lexer as it stood at that window's start: walked there again
        // (the walk is the same up to it), rather than kept at every window.
        walk_original<W>(a, na, kChunk, pairs, own_ends, st, la, code_start, wb, wa.cps[k].off);
        return StreamEnd{pa, pb, false};
    }
    return StreamEnd{0, 0, false};
}

}  // namespace

// Each path flattened into one function compiled for its instructions.
__attribute__((target("avx512bw,avx512vbmi2,bmi,bmi2,popcnt"), flatten)) StreamEnd stream_lane_avx512(
    const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb, CLexer& la, CLexer::Lane& st,
    const unsigned char*& code_start, bool pairs, bool own_ends) {
    return stream<W512>(a, na, b, nb, la, st, code_start, pairs, own_ends);
}

__attribute__((target("avx2,bmi,popcnt"), flatten)) StreamEnd stream_lane_avx2(
    const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb, CLexer& la, CLexer::Lane& st,
    const unsigned char*& code_start, bool pairs, bool own_ends) {
    return stream<W256>(a, na, b, nb, la, st, code_start, pairs, own_ends);
}

#endif

}  // namespace ravolin
