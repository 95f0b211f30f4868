#include "verify/fast_lane.h"

#include <atomic>
#include <cstdint>

#include "engine/engine.h"
#include "verify/squeeze_table.h"
#include "verify/stream_lane.h"
#include "verify/unit_reader.h"

#if defined(__SSE2__) && !defined(RAVOLIN_SCALAR_SCAN)
#include <emmintrin.h>
#define RAVOLIN_LANE_SSE2 1
#if defined(__x86_64__)
#include <immintrin.h>
#define RAVOLIN_LANE_WIDE 1
#endif
#endif

namespace ravolin {
namespace {

using Lane = CLexer::Lane;
using Mask = std::uint64_t;
constexpr std::size_t kWindow = 64;

inline bool blank(unsigned char c) { return c == ' ' || c == '\t'; }
inline bool lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
inline bool trail(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

// The places of a window that need a look, bit k for a[k] against b[k]:
// bytes that differ; bytes the state may change at (in code the quotes,
// '\\', '?', a '/' before '/', '*', '\\' or '?', a '#' where an include may
// follow; in a block comment '\\', '?' and a '*' before '/', '\\' or '?'; in
// a line comment '\\' and '?'); control bytes (line ends, tabs); with pairs
// every byte >= 0x80; and a space the same on both sides whose next byte is
// not (a run of blanks may go on differently there: it is taken as a run).
// A '/', '*' or '#' that passes is code or comment text as the lexers take
// it at the end.
// Reads a[64] and b[64].
template <Lane L>
Mask attention_scalar(const unsigned char* a, const unsigned char* b, bool pairs) {
    Mask m = 0;
    for (std::size_t k = 0; k < kWindow; ++k) {
        const unsigned char x = a[k];
        bool stop = x != b[k] || x < 0x20 || x == '\\' || x == '?' || (pairs && x >= 0x80) ||
                    (x == ' ' && a[k + 1] != b[k + 1]);
        const unsigned char n = a[k + 1];
        const bool joins_next = n == '/' || n == '\\' || n == '?';
        if (L == Lane::kCode) {
            stop = stop || x == '"' || x == '\'' || (x == '/' && (joins_next || n == '*')) ||
                   (x == '#' && (n == 'i' || n == ' ' || n == '\t' || n == '\\' || n == '?'));
        }
        if (L == Lane::kBlock) stop = stop || (x == '*' && joins_next);
        if (stop) m |= Mask{1} << k;
    }
    return m;
}

#ifdef RAVOLIN_LANE_SSE2
inline __m128i eq(__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }

template <Lane L>
__attribute__((always_inline)) inline unsigned attention16(const unsigned char* a, const unsigned char* b, int high) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
    const __m128i na = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 1));
    const __m128i nb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 1));
    // Below 0x20: min(v, 0x1F) == v.
    __m128i stop = _mm_cmpeq_epi8(_mm_min_epu8(va, _mm_set1_epi8(0x1F)), va);
    stop = _mm_or_si128(stop, _mm_andnot_si128(_mm_cmpeq_epi8(na, nb), eq(va, ' ')));
    stop = _mm_or_si128(stop, _mm_or_si128(eq(va, '\\'), eq(va, '?')));
    const __m128i joins_next = _mm_or_si128(_mm_or_si128(eq(na, '/'), eq(na, '\\')), eq(na, '?'));
    if (L == Lane::kCode) {
        const __m128i may_include =
            _mm_or_si128(_mm_or_si128(eq(na, 'i'), eq(na, ' ')), _mm_or_si128(eq(na, '\t'), joins_next));
        stop = _mm_or_si128(stop, _mm_or_si128(eq(va, '"'), eq(va, '\'')));
        stop = _mm_or_si128(stop, _mm_and_si128(eq(va, '#'), may_include));
        stop = _mm_or_si128(stop, _mm_and_si128(eq(va, '/'), _mm_or_si128(joins_next, eq(na, '*'))));
    } else if (L == Lane::kBlock) {
        stop = _mm_or_si128(stop, _mm_and_si128(eq(va, '*'), joins_next));
    }
    const unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(va, vb)));
    return (static_cast<unsigned>(_mm_movemask_epi8(stop)) | ~same | (static_cast<unsigned>(_mm_movemask_epi8(va)) & high)) &
           0xFFFFu;
}

template <Lane L>
__attribute__((always_inline)) inline Mask attention_sse2(const unsigned char* a, const unsigned char* b, bool pairs) {
    const int high = pairs ? 0xFFFF : 0;
    return Mask{attention16<L>(a, b, high)} | Mask{attention16<L>(a + 16, b + 16, high)} << 16 |
           Mask{attention16<L>(a + 32, b + 32, high)} << 32 | Mask{attention16<L>(a + 48, b + 48, high)} << 48;
}
#endif

#ifdef RAVOLIN_LANE_WIDE
__attribute__((target("avx2"), always_inline)) inline __m256i eq_avx2(__m256i v, char c) {
    return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c));
}

template <Lane L>
__attribute__((target("avx2"), always_inline)) inline Mask attention32(const unsigned char* a, const unsigned char* b,
                                                                        unsigned high) {
    const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
    const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
    const __m256i na = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + 1));
    const __m256i nb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 1));
    __m256i stop = _mm256_cmpeq_epi8(_mm256_min_epu8(va, _mm256_set1_epi8(0x1F)), va);
    stop = _mm256_or_si256(stop, _mm256_andnot_si256(_mm256_cmpeq_epi8(na, nb), eq_avx2(va, ' ')));
    stop = _mm256_or_si256(stop, _mm256_or_si256(eq_avx2(va, '\\'), eq_avx2(va, '?')));
    const __m256i joins_next = _mm256_or_si256(_mm256_or_si256(eq_avx2(na, '/'), eq_avx2(na, '\\')), eq_avx2(na, '?'));
    if (L == Lane::kCode) {
        const __m256i may_include = _mm256_or_si256(_mm256_or_si256(eq_avx2(na, 'i'), eq_avx2(na, ' ')),
                                                    _mm256_or_si256(eq_avx2(na, '\t'), joins_next));
        stop = _mm256_or_si256(stop, _mm256_or_si256(eq_avx2(va, '"'), eq_avx2(va, '\'')));
        stop = _mm256_or_si256(stop, _mm256_and_si256(eq_avx2(va, '#'), may_include));
        stop = _mm256_or_si256(stop, _mm256_and_si256(eq_avx2(va, '/'), _mm256_or_si256(joins_next, eq_avx2(na, '*'))));
    } else if (L == Lane::kBlock) {
        stop = _mm256_or_si256(stop, _mm256_and_si256(eq_avx2(va, '*'), joins_next));
    }
    const unsigned same = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(va, vb)));
    return static_cast<unsigned>(_mm256_movemask_epi8(stop)) | ~same |
           (static_cast<unsigned>(_mm256_movemask_epi8(va)) & high);
}

template <Lane L>
__attribute__((target("avx2"))) inline Mask attention_avx2(const unsigned char* a, const unsigned char* b, bool pairs) {
    const unsigned high = pairs ? ~0u : 0u;
    return (attention32<L>(a, b, high) & 0xFFFFFFFFu) | attention32<L>(a + 32, b + 32, high) << 32;
}

__attribute__((target("avx512bw"), always_inline)) inline Mask eq_avx512(__m512i v, char c) {
    return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c));
}

template <Lane L>
__attribute__((target("avx512bw"))) inline Mask attention_avx512(const unsigned char* a, const unsigned char* b, bool pairs) {
    const __m512i va = _mm512_loadu_si512(a), vb = _mm512_loadu_si512(b);
    const __m512i na = _mm512_loadu_si512(a + 1), nb = _mm512_loadu_si512(b + 1);
    Mask m = ~_mm512_cmpeq_epi8_mask(va, vb) | _mm512_cmplt_epu8_mask(va, _mm512_set1_epi8(0x20));
    m |= eq_avx512(va, ' ') & ~_mm512_cmpeq_epi8_mask(na, nb);
    m |= eq_avx512(va, '\\') | eq_avx512(va, '?');
    const Mask joins_next = eq_avx512(na, '/') | eq_avx512(na, '\\') | eq_avx512(na, '?');
    if (L == Lane::kCode) {
        const Mask may_include = eq_avx512(na, 'i') | eq_avx512(na, ' ') | eq_avx512(na, '\t') | joins_next;
        m |= eq_avx512(va, '"') | eq_avx512(va, '\'') | (eq_avx512(va, '#') & may_include);
        m |= eq_avx512(va, '/') & (joins_next | eq_avx512(na, '*'));
    } else if (L == Lane::kBlock) {
        m |= eq_avx512(va, '*') & joins_next;
    }
    if (pairs) m |= _mm512_movepi8_mask(va);
    return m;
}

// Where a window can be squeezed (AVX-512 VBMI2, or AVX2 through a table),
// it is compared as the tokens the check sees:
// each run of blanks squeezed to one ' ', the CR of a CR LF dropped (unless
// the converted file keeps the original's own line ends), on each side
// apart, so runs of different lengths and line ends pass in one go; in the
// converted file an LF without its CR stops it. Within what compares alike
// the original's lexer is walked from one place that matters to the next by
// the window's masks: a comment's start or end, a line comment's line end;
// anything else that may change the state ends the passage (a literal, a
// backslash, a '?', an include, with pairs a byte >= 0x80). Never ends
// inside a run that may go on past the window, nor between a CR and its
// LF. Returns false where nothing passes; else the bytes passed on each
// side.
struct Squeezed {
    std::size_t a, b;
};

// Where the k-th byte kept stands (of count), or end past the last one.
template <class W>
inline std::size_t at(std::size_t k, Mask keep, std::size_t count, std::size_t end) {
    return k < count ? W::select(keep, k) : end;
}

// The bits of m from k on (k <= 64).
inline Mask from(Mask m, std::size_t k) { return k >= kWindow ? 0 : m & (~Mask{0} << k); }
// The bits of m below k (k <= 64).
inline Mask below(Mask m, std::size_t k) { return k >= kWindow ? m : m & ((Mask{1} << k) - 1); }

// What the state may change at, worked out for each state the walk comes
// to; hard: what stops every state. In code any byte >= 0x80 of a pair
// (high) stops, as it may be part of a word before a literal; in comments
// a lead byte alone is a byte like any other, and a character ending in
// 0x5C before a line comment's end may get a dot, which the places after
// the window see to.
template <class W>
inline Mask stops(Lane in, const W& w, Mask hard, Mask high, Mask line_ends, Mask splice_next) {
    if (in == Lane::kCode) {
        const Mask may_include = w.next_is('i') | w.next_is(' ') | w.next_is('\t') | splice_next;
        return hard | high | w.is('"') | w.is('\'') | (w.is('#') & may_include) |
               (w.is('/') & (splice_next | w.next_is('/') | w.next_is('*')));
    }
    if (in == Lane::kBlock) return hard | (w.is('*') & (splice_next | w.next_is('/')));
    return hard | line_ends;
}

// A window of the original (this byte and the next) and of the converted
// text, with AVX-512 VBMI2: compares give masks, vpcompressb squeezes.
struct Window512 {
    __m512i a, na, b, nb;
    __attribute__((target("avx512bw"))) Window512(const unsigned char* pa, const unsigned char* pb)
        : a(_mm512_loadu_si512(pa)), na(_mm512_loadu_si512(pa + 1)), b(_mm512_loadu_si512(pb)),
          nb(_mm512_loadu_si512(pb + 1)) {}
    __attribute__((target("avx512bw"))) Mask is(char c) const { return eq_avx512(a, c); }
    __attribute__((target("avx512bw"))) Mask next_is(char c) const { return eq_avx512(na, c); }
    __attribute__((target("avx512bw"))) Mask b_is(char c) const { return eq_avx512(b, c); }
    __attribute__((target("avx512bw"))) Mask b_next_is(char c) const { return eq_avx512(nb, c); }
    __attribute__((target("avx512bw"))) Mask controls() const {
        return _mm512_cmplt_epu8_mask(a, _mm512_set1_epi8(0x20));
    }
    __attribute__((target("avx512bw"))) Mask high() const { return _mm512_movepi8_mask(a); }
    __attribute__((target("avx512bw"))) static Mask in(__m512i v, unsigned char lo, unsigned char hi) {
        return _mm512_cmpge_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(lo))) &
               _mm512_cmple_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(hi)));
    }
    __attribute__((target("avx512bw"))) Mask in(unsigned char lo, unsigned char hi) const { return in(a, lo, hi); }
    __attribute__((target("avx512bw"))) Mask next_in(unsigned char lo, unsigned char hi) const {
        return in(na, lo, hi);
    }
    // The place of the k-th bit set.
    __attribute__((target("bmi,bmi2"))) static std::size_t select(Mask m, std::size_t k) {
        return static_cast<std::size_t>(_tzcnt_u64(_pdep_u64(Mask{1} << k, m)));
    }
    // Both sides squeezed (blanks as ' ', the bytes kept): where they
    // differ, and where the original's squeezed bytes are blanks.
    __attribute__((target("avx512bw,avx512vbmi2"))) void squeezed(Mask keep_a, Mask blank_a, Mask keep_b, Mask blank_b,
                                                                   Mask* differ, Mask* blanks) const {
        const __m512i space = _mm512_set1_epi8(' ');
        const __m512i sa = _mm512_maskz_compress_epi8(keep_a, _mm512_mask_mov_epi8(a, blank_a, space));
        const __m512i sb = _mm512_maskz_compress_epi8(keep_b, _mm512_mask_mov_epi8(b, blank_b, space));
        *differ = ~_mm512_cmpeq_epi8_mask(sa, sb);
        *blanks = _mm512_cmpeq_epi8_mask(sa, space);
    }
};

// The same with AVX2: masks from two 32-byte halves; squeezed eight bytes
// at a time by a table of shuffles, into buffers compared afterwards; the
// k-th bit found byte by byte (no pdep: it is slow on some processors that
// have AVX2).

struct Window256 {
    __m256i a0, a1, na0, na1, b0, b1, nb0, nb1;
    __attribute__((target("avx2"))) Window256(const unsigned char* pa, const unsigned char* pb)
        : a0(load(pa)), a1(load(pa + 32)), na0(load(pa + 1)), na1(load(pa + 33)), b0(load(pb)), b1(load(pb + 32)),
          nb0(load(pb + 1)), nb1(load(pb + 33)) {}
    __attribute__((target("avx2"))) static __m256i load(const unsigned char* p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    __attribute__((target("avx2"))) static Mask bits(__m256i lo, __m256i hi) {
        return Mask{static_cast<unsigned>(_mm256_movemask_epi8(lo))} |
               Mask{static_cast<unsigned>(_mm256_movemask_epi8(hi))} << 32;
    }
    __attribute__((target("avx2"))) static Mask eq2(__m256i lo, __m256i hi, char c) {
        return bits(eq_avx2(lo, c), eq_avx2(hi, c));
    }
    __attribute__((target("avx2"))) Mask is(char c) const { return eq2(a0, a1, c); }
    __attribute__((target("avx2"))) Mask next_is(char c) const { return eq2(na0, na1, c); }
    __attribute__((target("avx2"))) Mask b_is(char c) const { return eq2(b0, b1, c); }
    __attribute__((target("avx2"))) Mask b_next_is(char c) const { return eq2(nb0, nb1, c); }
    __attribute__((target("avx2"))) static __m256i below(__m256i v, char c) {
        return _mm256_cmpeq_epi8(_mm256_min_epu8(v, _mm256_set1_epi8(c)), v);
    }
    __attribute__((target("avx2"))) Mask controls() const { return bits(below(a0, 0x1F), below(a1, 0x1F)); }
    __attribute__((target("avx2"))) Mask high() const { return bits(a0, a1); }
    __attribute__((target("avx2"))) static __m256i within(__m256i v, unsigned char lo, unsigned char hi) {
        const __m256i at_least = _mm256_cmpeq_epi8(_mm256_max_epu8(v, _mm256_set1_epi8(static_cast<char>(lo))), v);
        return _mm256_and_si256(at_least, below(v, static_cast<char>(hi)));
    }
    __attribute__((target("avx2"))) Mask in(unsigned char lo, unsigned char hi) const {
        return bits(within(a0, lo, hi), within(a1, lo, hi));
    }
    __attribute__((target("avx2"))) Mask next_in(unsigned char lo, unsigned char hi) const {
        return bits(within(na0, lo, hi), within(na1, lo, hi));
    }
    __attribute__((target("popcnt"))) static std::size_t select(Mask m, std::size_t k) { return select_bit(m, k); }
    __attribute__((target("avx2"))) static __m256i blank_bytes(__m256i v) {
        return _mm256_or_si256(eq_avx2(v, ' '), eq_avx2(v, '\t'));
    }
    // The 64 bytes at lo, hi with blanks as ' ', squeezed to the bytes keep
    // has, into out (64 bytes; what follows them is zero).
    __attribute__((target("avx2,popcnt"))) static void squeeze_into(__m256i lo, __m256i hi, Mask keep,
                                                                    unsigned char* out) {
        alignas(32) unsigned char raw[64];
        const __m256i space = _mm256_set1_epi8(' ');
        _mm256_store_si256(reinterpret_cast<__m256i*>(raw), _mm256_blendv_epi8(lo, space, blank_bytes(lo)));
        _mm256_store_si256(reinterpret_cast<__m256i*>(raw + 32), _mm256_blendv_epi8(hi, space, blank_bytes(hi)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_setzero_si256());
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_setzero_si256());
        gather_kept(raw, keep, out);
    }
    __attribute__((target("avx2,popcnt"))) void squeezed(Mask keep_a, Mask, Mask keep_b, Mask, Mask* differ,
                                                          Mask* blanks) const {
        unsigned char sa[72], sb[72];
        squeeze_into(a0, a1, keep_a, sa);
        squeeze_into(b0, b1, keep_b, sb);
        const __m256i x0 = load(sa), x1 = load(sa + 32), y0 = load(sb), y1 = load(sb + 32);
        *differ = ~bits(_mm256_cmpeq_epi8(x0, y0), _mm256_cmpeq_epi8(x1, y1));
        *blanks = eq2(x0, x1, ' ');
    }
};

template <class W>
inline bool squeeze(const unsigned char* a, const unsigned char* b, bool pairs, bool own_ends, Lane& st, CLexer& lexer,
                    std::size_t& code_from, Squeezed* out) {
    const W w(a, b);
    const Mask blank_a = w.is(' ') | w.is('\t'), blank_b = w.b_is(' ') | w.b_is('\t');
    const Mask cr_a = w.is('\r'), lf_a = w.is('\n'), crlf_a = cr_a & w.next_is('\n');
    const Mask cr_b = w.b_is('\r'), lf_b = w.b_is('\n'), crlf_b = cr_b & w.b_next_is('\n');
    // The converter writes every LF after a CR; a window starts after a
    // whole line end, so an LF first in it stands alone too.
    const Mask stop_b = own_ends ? 0 : lf_b & ~(cr_b << 1);
    const Mask drop_a = own_ends ? 0 : crlf_a, drop_b = own_ends ? 0 : crlf_b;
    const std::size_t end_b = stop_b ? static_cast<std::size_t>(__builtin_ctzll(stop_b)) : kWindow;
    // A blank after a blank goes; a window starts where no run goes on.
    const Mask keep_a = ~(blank_a & (blank_a << 1)) & ~drop_a;
    const Mask keep_b = below(~(blank_b & (blank_b << 1)) & ~drop_b, end_b);
    Mask differ, squeezed_blanks;
    w.squeezed(keep_a, blank_a, keep_b, blank_b, &differ, &squeezed_blanks);
    const std::size_t count_a = static_cast<std::size_t>(__builtin_popcountll(keep_a));
    const std::size_t count_b = static_cast<std::size_t>(__builtin_popcountll(keep_b));
    std::size_t n = differ ? static_cast<std::size_t>(__builtin_ctzll(differ)) : kWindow;
    n = n < count_a ? n : count_a;
    n = n < count_b ? n : count_b;
    if (n == 0) return false;
    // The original alike up to here; the walk may end the passage sooner.
    std::size_t limit = at<W>(n, keep_a, count_a, kWindow);

    // What may change the state, in each state. A '/' or '*' matters only
    // before what may join with it ('/' or '*', for '*' just '/'; or a
    // backslash or '?' that may splice the line); a '#' where an include
    // may follow (include, import, after blanks or a splice): #define,
    // #endif and the rest pass, and the lexer works out the directive from
    // the line at the end.
    const Mask splice_next = w.next_is('\\') | w.next_is('?');
    Mask hard = w.controls() & ~(blank_a | lf_a | crlf_a);
    hard |= w.is('\\') | w.is('?');
    // Double-byte characters pass in comments. The window starts where a
    // character does, so within a run of lead-range bytes every other one
    // leads (the one after it, lead-range or not, is its second byte).
    const Mask high = pairs ? w.high() : 0;
    Mask leads = 0, seconds = 0, ends_in_5c = 0;
    if (high != 0) {
        const Mask lead_range = w.in(0x81, 0x9F) | w.in(0xE0, 0xFC);
        const Mask next_trails = w.next_in(0x40, 0x7E) | w.next_in(0x80, 0xFC);
        const Mask run_starts = lead_range & ~(lead_range << 1);
        constexpr Mask kEven = 0x5555555555555555ull;
        // Runs that start at an even place: adding their first bit carries
        // through each of them.
        const Mask even_runs = lead_range & ~(lead_range + (run_starts & kEven));
        leads = ((even_runs & kEven) | (lead_range & ~even_runs & ~kEven)) & next_trails;
        seconds = leads << 1;
        ends_in_5c = leads & w.next_is('\\');
        hard &= ~seconds;  // a second byte 0x5C is no backslash
    }
    // Never between a character's two bytes.
    if (limit < kWindow && (seconds >> limit & 1) != 0) --limit;
    if (limit == kWindow && (leads >> (kWindow - 1) & 1) != 0) limit = kWindow - 1;
    // A line end inside a block comment starts a line that may still become
    // a directive once the comment ends.
    const auto block_lines = [&](std::size_t from_pos, std::size_t to) {
        if (below(from(lf_a, from_pos), to) != 0) lexer.lane_line_end();
    };
    std::size_t pos = 0;
    for (;;) {
        const Mask m = from(stops(st, w, hard, high, cr_a | lf_a | ends_in_5c, splice_next), pos);
        const std::size_t s = m ? static_cast<std::size_t>(__builtin_ctzll(m)) : kWindow;
        if (s >= limit) break;
        const unsigned char c = a[s], next = a[s + 1];
        std::size_t after = 0;  // where what the state changes at ends
        if (st == Lane::kCode && c == '/' && (next == '*' || next == '/')) {
            after = s + 2;
        } else if (st == Lane::kBlock && c == '*' && next == '/') {
            after = s + 2;
        } else if (st == Lane::kLine && c == '\n') {
            after = s + 1;
        } else if (st == Lane::kLine && c == '\r' && next == '\n') {
            after = s + 2;
        }
        if (after == 0 || after > limit) {
            limit = s;  // the places after the window see to it
            break;
        }
        if (st == Lane::kCode) {
            lexer.open_comment(next == '/');
            st = next == '/' ? Lane::kLine : Lane::kBlock;
        } else {
            if (st == Lane::kBlock) {
                block_lines(pos, s);
                lexer.close_comment();
            } else {
                lexer.lane_line_end();
            }
            st = Lane::kCode;
            code_from = after;
        }
        pos = after;
    }
    // Back to the tokens: as many as the original passed.
    n = static_cast<std::size_t>(__builtin_popcountll(below(keep_a, limit)));
    std::size_t pa = limit, pb = at<W>(n, keep_b, count_b, end_b);
    if (n > 0 && (pa == kWindow || pb == kWindow) && (squeezed_blanks >> (n - 1) & 1) != 0) {
        // A run up to the window's end may go on past it: it is taken
        // whole from its start.
        --n;
        pa = at<W>(n, keep_a, count_a, kWindow);
        pb = at<W>(n, keep_b, count_b, end_b);
    }
    // Not between a CR and its LF (told by the masks: no load waits on pa).
    if (pa > 0 && (crlf_a >> (pa - 1) & 1) != 0) --pa;
    if (pb > 0 && (crlf_b >> (pb - 1) & 1) != 0) --pb;
    if (st == Lane::kBlock) block_lines(pos, pa);
    *out = {pa, pb};
    return pa > 0;
}
#endif

// Where the blanks from p on end, at most at n.
inline std::size_t blanks_end(const unsigned char* s, std::size_t p, std::size_t n) {
#ifdef RAVOLIN_LANE_SSE2
    while (p + 16 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + p));
        const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(eq(v, ' '), eq(v, '\t')))) & 0xFFFFu;
        if (other != 0) return p + static_cast<std::size_t>(__builtin_ctz(other));
        p += 16;
    }
#endif
    while (p < n && blank(s[p])) ++p;
    return p;
}

// A byte that may join with a '/' or '*' before it into a comment's start
// or end, or splice a line between them.
inline bool joins(unsigned char c) { return c == '/' || c == '*' || c == '\\' || c == '?'; }

enum class Path { kScalar, kSse2, kAvx2, kAvx2Squeeze, kAvx512, kAvx512Squeeze };

template <Path P, Lane L>
inline Mask attention(const unsigned char* a, const unsigned char* b, bool pairs) {
#ifdef RAVOLIN_LANE_WIDE
    if constexpr (P == Path::kAvx512 || P == Path::kAvx512Squeeze) return attention_avx512<L>(a, b, pairs);
    if constexpr (P == Path::kAvx2 || P == Path::kAvx2Squeeze) return attention_avx2<L>(a, b, pairs);
#endif
#ifdef RAVOLIN_LANE_SSE2
    if constexpr (P != Path::kScalar) return attention_sse2<L>(a, b, pairs);
#endif
    return attention_scalar<L>(a, b, pairs);
}

// Flattened into one function per path, compiled for that path's
// instructions, so that the window's constants stay in registers.
template <Path P>
inline RunEnd lane(const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb, CLexer& la, CLexer& lb,
            bool pairs, bool own_ends) {
    std::size_t i = 0, j = 0;
    // Code passed since the last change of state, for the lexers to take at
    // the end.
    std::size_t code_a = 0;
    Lane st = la.lane();
    while (i + kWindow + 1 <= na && j + kWindow + 1 <= nb) {
        bool at_place = false;  // i and j stand at the next place to look at
#ifdef RAVOLIN_LANE_WIDE
        if constexpr (P == Path::kAvx512Squeeze || P == Path::kAvx2Squeeze) {
            // Whole streams first; the windows below see to where they stop.
            const unsigned char* code_start = a + code_a;
            const StreamEnd e =
                P == Path::kAvx512Squeeze
                    ? stream_lane_avx512(a + i, na - i, b + j, nb - j, la, st, code_start, pairs, own_ends)
                    : stream_lane_avx2(a + i, na - i, b + j, nb - j, la, st, code_start, pairs, own_ends);
            code_a = static_cast<std::size_t>(code_start - a);
            i += e.a;
            j += e.b;
            if (e.more) continue;
            if (i + kWindow + 1 > na || j + kWindow + 1 > nb) break;
        }
        if constexpr (P == Path::kAvx512Squeeze || P == Path::kAvx2Squeeze) {
            Squeezed q;
            std::size_t code_from = kWindow + 1;
            using W = std::conditional_t<P == Path::kAvx512Squeeze, Window512, Window256>;
            if (squeeze<W>(a + i, b + j, pairs, own_ends, st, la, code_from, &q)) {
                if (code_from <= kWindow) code_a = i + code_from;
                i += q.a;
                j += q.b;
                // A window used up on either side: the next may pass too.
                if (q.a == kWindow || q.b == kWindow) continue;
            }
            // Cut short, or nothing passed: by what the places below see to.
            at_place = true;
        }
#endif
        if (!at_place) {
            const Mask m = st == Lane::kCode    ? attention<P, Lane::kCode>(a + i, b + j, pairs)
                           : st == Lane::kBlock ? attention<P, Lane::kBlock>(a + i, b + j, pairs)
                                                : attention<P, Lane::kLine>(a + i, b + j, pairs);
            if (m == 0) {
                i += kWindow;
                j += kWindow;
                continue;
            }
            const std::size_t k = static_cast<std::size_t>(__builtin_ctzll(m));
            i += k;
            j += k;
        }
        const unsigned char x = a[i], y = b[j];
        if (blank(x) && blank(y)) {
            // One run on each side; it must end in view on both, or the
            // next view could still add to it.
            const std::size_t ea = blanks_end(a, i + 1, na), eb = blanks_end(b, j + 1, nb);
            if (ea == na || eb == nb) break;
            i = ea;
            j = eb;
            continue;
        }
        const std::size_t ea = original_newline(a + i, na - i);
        const std::size_t eb = own_ends ? original_newline(b + j, nb - j) : converted_newline(b + j, nb - j);
        if (ea != 0 && eb != 0 && (!own_ends || ea == eb)) {
            la.lane_line_end();
            if (st == Lane::kLine) st = Lane::kCode;
            i += ea;
            j += eb;
            code_a = i;
            // Most lines begin with a run of blanks on both sides: taken
            // right here, without a window of its own.
            if (i < na && j < nb && blank(a[i]) && blank(b[j])) {
                const std::size_t ra = blanks_end(a, i + 1, na), rb = blanks_end(b, j + 1, nb);
                if (ra == na || rb == nb) break;
                i = ra;
                j = rb;
            }
            continue;
        }
        if (x != y) break;
        const unsigned char nx = a[i + 1], ny = b[j + 1];
        if (st == Lane::kCode) {
            if (x == '/') {
                if (nx == ny && (nx == '*' || nx == '/')) {
                    la.open_comment(nx == '/');
                    st = nx == '/' ? Lane::kLine : Lane::kBlock;
                    i += 2;
                    j += 2;
                    continue;
                }
                if (joins(nx) || joins(ny)) break;
            } else if (x == '#') {
                // Passes unless it may begin an include, whose header name
                // is a literal: a directive's name is told right after it.
                std::size_t e = i + 1;
                while (e < na && e - i <= 13 && ((a[e] | 0x20) >= 'a' && (a[e] | 0x20) <= 'z')) ++e;
                if (e >= na || e - i > 13 || e - i + j >= nb) break;
                const std::size_t len = e - i;
                const unsigned char after = a[e];
                if (after >= 0x80 || after == '_' || after == '$' || after == '\\' || after == '?' ||
                    (after >= '0' && after <= '9') || b[j + len] != after) {
                    break;
                }
                bool same = true;
                for (std::size_t t = 1; t < len; ++t) same = same && a[i + t] == b[j + t];
                const auto is = [&](const char* w, std::size_t n) {
                    if (len - 1 != n) return false;
                    for (std::size_t t = 0; t < n; ++t) {
                        if (a[i + 1 + t] != static_cast<unsigned char>(w[t])) return false;
                    }
                    return true;
                };
                if (!same || len == 1 || is("include", 7) || is("import", 6)) break;
                // "include_next" stops at its '_' above.
            } else if (x < 0x80 || (pairs && lead(x))) {
                break;  // a quote, a backslash, a '?', a control byte, a pair
            }
            ++i;
            ++j;
            continue;
        }
        if (x == '*' && st == Lane::kBlock) {
            if (nx == '/' && ny == '/') {
                la.close_comment();
                st = Lane::kCode;
                i += 2;
                j += 2;
                code_a = i;
                continue;
            }
            if ((nx != '*' && joins(nx)) || (ny != '*' && joins(ny))) break;
            ++i;
            ++j;
            continue;
        }
        if (x < 0x80) break;  // a backslash, a '?', a control byte
        if (pairs && lead(x)) {
            // A double-byte character the same on both sides. In a line
            // comment one ending in 0x5C may be followed by a dot the
            // converter added: the unit-by-unit comparison sees to that.
            if (nx != ny || !trail(nx) || (nx == 0x5C && st == Lane::kLine)) break;
            i += 2;
            j += 2;
            // Japanese comes in words: the characters that follow too.
            while (i + 1 < na && j + 1 < nb && a[i] == b[j] && lead(a[i]) && a[i + 1] == b[j + 1] && trail(a[i + 1]) &&
                   (a[i + 1] != 0x5C || st == Lane::kBlock)) {
                i += 2;
                j += 2;
            }
            continue;
        }
        ++i;
        ++j;
    }
    if (st == Lane::kCode) {
        la.pass(a + code_a, i - code_a);
    }
    // Both lexers took the same tokens; the blanks and line ends between
    // them leave the state alike, whatever their bytes.
    lb = la;
    return {i, j};
}

__attribute__((flatten)) RunEnd lane_scalar(const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb, CLexer& la,
                   CLexer& lb, bool pairs, bool own_ends) {
    return lane<Path::kScalar>(a, na, b, nb, la, lb, pairs, own_ends);
}

#ifdef RAVOLIN_LANE_SSE2
__attribute__((flatten)) RunEnd lane_sse2(const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb, CLexer& la,
                 CLexer& lb, bool pairs, bool own_ends) {
    return lane<Path::kSse2>(a, na, b, nb, la, lb, pairs, own_ends);
}
#endif

#ifdef RAVOLIN_LANE_WIDE
__attribute__((target("avx2"), flatten)) RunEnd lane_avx2(const unsigned char* a, std::size_t na, const unsigned char* b,
                                                 std::size_t nb, CLexer& la, CLexer& lb, bool pairs, bool own_ends) {
    return lane<Path::kAvx2>(a, na, b, nb, la, lb, pairs, own_ends);
}

__attribute__((target("avx2,popcnt"), flatten)) RunEnd lane_avx2_squeeze(const unsigned char* a, std::size_t na,
                                                                         const unsigned char* b, std::size_t nb,
                                                                         CLexer& la, CLexer& lb, bool pairs,
                                                                         bool own_ends) {
    return lane<Path::kAvx2Squeeze>(a, na, b, nb, la, lb, pairs, own_ends);
}

__attribute__((target("avx512bw,avx512vbmi2,bmi,bmi2,popcnt"), flatten)) RunEnd lane_avx512_squeeze(
    const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb, CLexer& la, CLexer& lb, bool pairs,
    bool own_ends) {
    return lane<Path::kAvx512Squeeze>(a, na, b, nb, la, lb, pairs, own_ends);
}

std::atomic<bool>& squeeze_allowed() {
    static std::atomic<bool> allowed{true};
    return allowed;
}

bool have_vbmi2() {
    static const bool have = __builtin_cpu_supports("avx512vbmi2") != 0;
    return have;
}

__attribute__((target("avx512bw"), flatten)) RunEnd lane_avx512(const unsigned char* a, std::size_t na, const unsigned char* b,
                                                       std::size_t nb, CLexer& la, CLexer& lb, bool pairs,
                                                       bool own_ends) {
    return lane<Path::kAvx512>(a, na, b, nb, la, lb, pairs, own_ends);
}
#endif

}  // namespace

RunEnd fast_lane(const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb, CLexer& la,
                 CLexer& lb, bool pairs, bool own_ends) {
    if (la.lane() == Lane::kNone) return {0, 0};
#ifdef RAVOLIN_LANE_WIDE
    switch (scan_path_in_use()) {
    case ScanPath::kAvx512:
        if (have_vbmi2() && squeeze_allowed().load(std::memory_order_relaxed)) {
            return lane_avx512_squeeze(a, na, b, nb, la, lb, pairs, own_ends);
        }
        return lane_avx512(a, na, b, nb, la, lb, pairs, own_ends);
    case ScanPath::kAvx2:
        if (squeeze_allowed().load(std::memory_order_relaxed)) return lane_avx2_squeeze(a, na, b, nb, la, lb, pairs, own_ends);
        return lane_avx2(a, na, b, nb, la, lb, pairs, own_ends);
    default:
        break;
    }
#endif
#ifdef RAVOLIN_LANE_SSE2
    if (scan_path_in_use() != ScanPath::kScalar) return lane_sse2(a, na, b, nb, la, lb, pairs, own_ends);
#endif
    return lane_scalar(a, na, b, nb, la, lb, pairs, own_ends);
}

void allow_squeeze(bool allow) {
#ifdef RAVOLIN_LANE_WIDE
    squeeze_allowed().store(allow, std::memory_order_relaxed);
#else
    (void)allow;
#endif
}

}  // namespace ravolin
