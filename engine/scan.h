// The engine's scanners: where the next byte that needs attention is, where a
// run of spaces ends, and a fill of tabs or spaces. The vector scanners (SSE2,
// and in the 64-bit programs AVX2 and AVX-512 where the processor has them)
// are the ones the programs use; the byte-at-a-time one is their reference,
// which the tests and the fuzz target check them against (and the one for
// builds without SSE2).
#pragma once
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "engine/engine.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define RAVOLIN_HAVE_SSE2 1
#endif
// The 64-bit programs also carry 32- and 64-byte scanners, compiled for those
// instructions function by function and chosen at run time.
#if defined(__x86_64__) && defined(RAVOLIN_HAVE_SSE2)
#include <immintrin.h>
#define RAVOLIN_HAVE_WIDE_SCAN 1
#endif

namespace ravolin::scan {

// Byte classes. The table is indexed by unsigned byte: with a signed char
// every byte >= 0x80 would index before the table.
enum ByteClass : unsigned char {
    kOrdinary = 0,
    kSpace,
    kTab,
    kCr,
    kLf,
    kHigh,  // >= 0x80: part of a multi-byte character or a half-width kana
    kQuote,
    kBackslash,
    kSlash,
    kStar,
    kHash,     // may start a directive that takes a header name
    kGreater,  // ends a header name
};

// Inside a literal nothing but its end and the bytes every state stops at
// matter: runs of spaces are left as they are.
// The literals come last among the states: one compare tells them.
constexpr bool literal_state(LexState l) { return l >= LexState::kString; }
static_assert(LexState::kCode < LexState::kString && LexState::kBlockComment < LexState::kString &&
              LexState::kLineComment < LexState::kString && LexState::kRawString > LexState::kString &&
              LexState::kHeaderName > LexState::kString);

// Shift-JIS lead bytes: 0x80-0x9F and 0xE0-0xFF; 0xA0-0xDF are half-width kana.
constexpr bool cp932_lead(unsigned char b) { return (b >= 0x80 && b <= 0x9F) || b >= 0xE0; }

struct Tables {
    unsigned char cls[256];
    // stops[encoding][lex][b] is 1 when byte b can change anything in that
    // state; the scalar scan copies every other byte as it is.
    unsigned char stops[2][kLexStates][256];
};

constexpr Tables make_tables() {
    Tables t{};
    for (int b = 0; b < 256; ++b) {
        unsigned char c = kOrdinary;
        if (b == ' ') c = kSpace;
        else if (b == '\t') c = kTab;
        else if (b == '\r') c = kCr;
        else if (b == '\n') c = kLf;
        else if (b >= 0x80) c = kHigh;
        else if (b == '"') c = kQuote;
        else if (b == '\\') c = kBackslash;
        else if (b == '/') c = kSlash;
        else if (b == '*') c = kStar;
        else if (b == '#') c = kHash;
        else if (b == '>') c = kGreater;
        t.cls[b] = c;
        for (int enc = 0; enc < 2; ++enc) {
            // A half-width kana is one byte and one column: nothing to do.
            const bool high = enc == static_cast<int>(Encoding::kUtf8) ? c == kHigh
                                                                         : cp932_lead(static_cast<unsigned char>(b));
            const bool common = c == kTab || c == kCr || c == kLf || high;
            unsigned char* s = nullptr;
            s = t.stops[enc][static_cast<int>(LexState::kCode)];
            s[b] = common || c == kSpace || c == kQuote || c == kBackslash || c == kSlash || c == kHash;
            s = t.stops[enc][static_cast<int>(LexState::kBlockComment)];
            s[b] = common || c == kSpace || c == kStar;
            s = t.stops[enc][static_cast<int>(LexState::kLineComment)];
            s[b] = common || c == kSpace;
            s = t.stops[enc][static_cast<int>(LexState::kString)];
            s[b] = common || c == kQuote || c == kBackslash;
            // No escapes in a raw literal: only a quote may end it.
            s = t.stops[enc][static_cast<int>(LexState::kRawString)];
            s[b] = common || c == kQuote;
            s = t.stops[enc][static_cast<int>(LexState::kHeaderName)];
            s[b] = common || c == kGreater;
        }
    }
    return t;
}

constexpr Tables kTables = make_tables();

// The scalar scan: copies the input from p up to lim to q, up to the first
// byte that needs attention; a space needs it only when a space or a tab
// follows (most spaces in C are single).
inline void copy_plain_scalar(const unsigned char*& p, const unsigned char* lim, unsigned char*& q,
                              const unsigned char* stop) {
    while (p < lim) {
        const unsigned char b = *p;
        if (stop[b]) {
            if (b != ' ') return;
            const unsigned char next = p + 1 < lim ? p[1] : 0;
            if (next == ' ' || next == '\t') return;
        }
        *q++ = b;
        ++p;
    }
}

inline const unsigned char* run_end_scalar(const unsigned char* p, const unsigned char* lim) {
    while (p < lim && *p == ' ') ++p;
    return p;
}

inline void fill_scalar(unsigned char* out, unsigned char byte, int n) {
    std::memset(out, byte, static_cast<std::size_t>(n));
}

#ifdef RAVOLIN_HAVE_SSE2
// The classes of bytes the AVX2 scanner tells stops by (see stop_mask_avx2),
// bit by bit. The first three need nothing of the next byte. The bytes a
// class allows next are all those whose high half is in one set and low half
// in another, so two take in a few more than they name (marked "also"):
// stops their handlers copy as they are.
enum : unsigned char {
    kClassControl = 1,        // 0x00-0x0D: the tab, LF and CR and the controls below them
    kClassHigh = 2,           // >= 0x80
    kClassSingle = 4,         // the state's own: '"' in code and in a literal, '>' in a header name
    kClassSingles = 7,
    kClassBlank = 8,          // a space, before a space or a tab (also a NUL or ')')
    kClassDirective = 16,     // '#', before 'i', a space or a tab (also a NUL, ')' or '`'): most are #define
    kClassEscapedQuote = 32,  // a backslash, before '"'
    kClassSlash = 64,         // code: '/' before '/', '*', '+' or '.'; a string: a backslash before a backslash
    kClassStarSlash = 128,    // '*' before '/'
};

// The bytes the vector scanners compare with, each repeated across the
// widest register.
struct alignas(64) Splats {
    unsigned char below[64];  // 0x0E: the controls and every byte >= 0x80 lie below it as signed bytes
    unsigned char space[64], tab[64], quote[64], hash[64], backslash[64], slash[64], star[64], greater[64];
    unsigned char i[64];      // after a '#': may begin an include
    unsigned char one[64];   // OR-ed in: maps '"' onto '#'
    unsigned char five[64];  // OR-ed in: maps '*', '+' and '.' onto '/'
    unsigned char low_half[64], singles[64], seven_f[64];  // the AVX2 scanner's: 0x0F, kClassSingles, 0x7F
    unsigned char lf[64], cr[64];
    // Each of the low (high) 32 byte indexes twice: spreads half a window
    // over a whole one, a slot for a CR before every byte.
    unsigned char twice_low[64], twice_high[64];
};

constexpr Splats make_splats() {
    Splats s{};
    for (int k = 0; k < 64; ++k) {
        s.below[k] = 0x0E;
        s.space[k] = ' ';
        s.tab[k] = '\t';
        s.quote[k] = '"';
        s.hash[k] = '#';
        s.backslash[k] = '\\';
        s.slash[k] = '/';
        s.star[k] = '*';
        s.greater[k] = '>';
        s.i[k] = 'i';
        s.one[k] = 0x01;
        s.five[k] = 0x05;
        s.low_half[k] = 0x0F;
        s.singles[k] = kClassSingles;
        s.seven_f[k] = 0x7F;
        s.lf[k] = '\n';
        s.cr[k] = '\r';
        s.twice_low[k] = static_cast<unsigned char>(k / 2);
        s.twice_high[k] = static_cast<unsigned char>(32 + k / 2);
    }
    return s;
}

inline constexpr Splats kSplats = make_splats();

// kSplats where the compiler cannot see into it, so that each constant is a
// memory operand of the compare that uses it: GCC would otherwise build
// every one anew at each use, three instructions apiece.
__attribute__((always_inline)) inline const Splats& splats() {
    const Splats* s = &kSplats;
    __asm__("" : "+r"(s));
    return *s;
}

__attribute__((always_inline)) inline __m128i splat(const unsigned char (&b)[64]) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(b));
}
__attribute__((always_inline)) inline __m128i eq(__m128i v, const unsigned char (&b)[64]) {
    return _mm_cmpeq_epi8(v, splat(b));
}

// Which of the 16 bytes at p need attention in state L (bit k for p[k]); a
// byte the scalar scan would stop at may be left out only where its handler
// would copy it as it is. The look-ahead byte p[16] may lie past the piece:
// the handlers see a NUL there, which copies the byte as well, so the answer
// stays the same either way.
//
// Code and the two comments share one set of stops, kCode's, the union of
// theirs: the converter switches between them (at every comment) without
// scanning the window again, and a stop its state has no use for is copied
// as it is by its handler. The literals each have their own.
template <LexState L>
__attribute__((always_inline)) inline unsigned stop_mask(const unsigned char* p, const Splats& k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i n = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    // Below 0x0E as a signed byte: the tab, LF and CR, the other controls
    // below them (rare; their handler copies them) and every byte >= 0x80
    // (its handler tells the encodings apart).
    __m128i m = _mm_cmplt_epi8(v, splat(k.below));
    if (!literal_state(L)) {
        // A space followed by a space or a tab starts a run.
        m = _mm_or_si128(m, _mm_and_si128(eq(v, k.space), _mm_or_si128(eq(n, k.space), eq(n, k.tab))));
    }
    if (L == LexState::kCode) {
        // '"' or '#' in one compare.
        m = _mm_or_si128(m, eq(_mm_or_si128(v, splat(k.one)), k.hash));
        m = _mm_or_si128(m, _mm_and_si128(eq(v, k.backslash), eq(n, k.quote)));
        // '/' before '/' or '*', in one compare. A slash before '+' or '.'
        // is a stop the handler copies as it is.
        m = _mm_or_si128(m, _mm_and_si128(eq(v, k.slash), eq(_mm_or_si128(n, splat(k.five)), k.slash)));
        // The end of a block comment.
        m = _mm_or_si128(m, _mm_and_si128(eq(v, k.star), eq(n, k.slash)));
    } else if (L == LexState::kString) {
        m = _mm_or_si128(m, eq(v, k.quote));
        m = _mm_or_si128(m, _mm_and_si128(eq(v, k.backslash), _mm_or_si128(eq(n, k.quote), eq(n, k.backslash))));
    } else if (L == LexState::kRawString) {
        m = _mm_or_si128(m, eq(v, k.quote));
    } else if (L == LexState::kHeaderName) {
        m = _mm_or_si128(m, eq(v, k.greater));
    }
    return static_cast<unsigned>(_mm_movemask_epi8(m));
}

// A window of stops is one machine word of bits: 64 bytes of input where
// registers are 64 bits wide, 32 in the 32-bit program.
using StopMask = std::conditional_t<(sizeof(void*) >= 8), unsigned long long, unsigned>;
constexpr int kWindowBytes = 8 * static_cast<int>(sizeof(StopMask));

inline int lowest_stop(StopMask m) {
    if constexpr (sizeof(StopMask) == 8) return __builtin_ctzll(m);
    else return __builtin_ctz(m);
}

// The stops of the kWindowBytes bytes at p in state L, bit k for p[k]. Reads
// one byte past them.
template <LexState L>
__attribute__((always_inline)) inline StopMask window_mask(const unsigned char* p, const Splats& k) {
    StopMask m = stop_mask<L>(p, k) | static_cast<StopMask>(stop_mask<L>(p + 16, k)) << 16;
    if constexpr (kWindowBytes == 64) {
        m |= static_cast<StopMask>(stop_mask<L>(p + 32, k)) << (kWindowBytes / 2) |
             static_cast<StopMask>(stop_mask<L>(p + 48, k)) << (kWindowBytes / 2 + 16);
    }
    return m;
}

// The converter inlines these where the state is known; elsewhere they
// switch on it.
__attribute__((always_inline)) inline StopMask window_mask(LexState lex, const unsigned char* p) {
    const Splats& k = splats();
    if (!literal_state(lex)) return window_mask<LexState::kCode>(p, k);
    switch (lex) {
    case LexState::kString:
        return window_mask<LexState::kString>(p, k);
    case LexState::kRawString:
        return window_mask<LexState::kRawString>(p, k);
    default:
        return window_mask<LexState::kHeaderName>(p, k);
    }
}

// Copies a window's worth of bytes as they are; the caller keeps the ones it
// needs.
__attribute__((always_inline)) inline void copy_window(const unsigned char* from, unsigned char* to) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), a);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16), b);
    if constexpr (kWindowBytes == 64) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 32));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 48));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 32), c);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 48), d);
    }
}

#ifdef RAVOLIN_HAVE_WIDE_SCAN
// The converter's wide paths are compiled for these instructions as a whole
// (so that their scanners are inlined into it); they run only where the
// processor has them all.
#define RAVOLIN_AVX2 "avx2,bmi,bmi2"
// Every processor with these AVX-512 parts counts leading zeros in one
// instruction (which not every compiler can ask the processor about).
#define RAVOLIN_AVX512 "avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,avx2,bmi,bmi2,popcnt,lzcnt"

__attribute__((target(RAVOLIN_AVX2), always_inline)) inline __m256i splat_avx2(const unsigned char (&b)[64]) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(b));
}
__attribute__((target(RAVOLIN_AVX2), always_inline)) inline __m256i eq_avx2(__m256i v, const unsigned char (&b)[64]) {
    return _mm256_cmpeq_epi8(v, splat_avx2(b));
}
__attribute__((target(RAVOLIN_AVX512), always_inline)) inline __m512i splat_avx512(const unsigned char (&b)[64]) {
    return _mm512_load_si512(b);
}
__attribute__((target(RAVOLIN_AVX512), always_inline)) inline StopMask eq_avx512(__m512i v,
                                                                                const unsigned char (&b)[64]) {
    return _mm512_cmpeq_epi8_mask(v, splat_avx512(b));
}

// The same stops as stop_mask, 32 bytes at a time, told by classes of
// bytes: a byte's classes are looked up by its two halves (a shuffle for the
// low four bits, one for the high four, and the classes both allow), and so
// are those of the byte after it. A byte is a stop when it has a class that
// needs nothing of the next byte, or one the next byte pairs with.
struct alignas(32) NibbleTable {
    // Each 16-byte table twice: the shuffle looks up within 128-bit lanes.
    unsigned char v_lo[32], v_hi[32], n_lo[32], n_hi[32];
};

struct NibbleTables {
    NibbleTable kind[4];  // code and comments, a string, a raw string, a header name
};

// The class bit for the bytes with a high half in [hi_from, hi_to] and a low
// half in [lo_from, lo_to], as the byte itself or (next) as the one after.
constexpr void add_class(NibbleTable& t, unsigned char bit, bool next, int hi_from, int hi_to, int lo_from,
                         int lo_to) {
    for (int h = hi_from; h <= hi_to; ++h) {
        (next ? t.n_hi : t.v_hi)[h] |= bit;
        (next ? t.n_hi : t.v_hi)[h + 16] |= bit;
    }
    for (int l = lo_from; l <= lo_to; ++l) {
        (next ? t.n_lo : t.v_lo)[l] |= bit;
        (next ? t.n_lo : t.v_lo)[l + 16] |= bit;
    }
}

// The same for a byte after whose halves come from sets that are no ranges.
template <int kHi, int kLo>
constexpr void add_class_next(NibbleTable& t, unsigned char bit, const int (&hi)[kHi], const int (&lo)[kLo]) {
    for (int h : hi) add_class(t, bit, true, h, h, 0x10, 0x0F);
    for (int l : lo) add_class(t, bit, true, 0x10, 0x0F, l, l);
}

constexpr NibbleTables make_nibble_tables() {
    NibbleTables ts{};
    for (NibbleTable& t : ts.kind) {
        add_class(t, kClassControl, false, 0x0, 0x0, 0x0, 0xD);
        add_class(t, kClassHigh, false, 0x8, 0xF, 0x0, 0xF);
    }
    NibbleTable& code = ts.kind[0];
    add_class(code, kClassSingle, false, 0x2, 0x2, 0x2, 0x2);
    add_class(code, kClassBlank, false, 0x2, 0x2, 0x0, 0x0);
    add_class_next(code, kClassBlank, {0x0, 0x2}, {0x0, 0x9});
    add_class(code, kClassDirective, false, 0x2, 0x2, 0x3, 0x3);
    add_class_next(code, kClassDirective, {0x0, 0x2, 0x6}, {0x0, 0x9});
    add_class(code, kClassEscapedQuote, false, 0x5, 0x5, 0xC, 0xC);
    add_class(code, kClassEscapedQuote, true, 0x2, 0x2, 0x2, 0x2);
    add_class(code, kClassSlash, false, 0x2, 0x2, 0xF, 0xF);
    add_class(code, kClassSlash, true, 0x2, 0x2, 0xA, 0xB);  // '*', '+'
    add_class(code, kClassSlash, true, 0x2, 0x2, 0xE, 0xF);  // '.', '/'
    add_class(code, kClassStarSlash, false, 0x2, 0x2, 0xA, 0xA);
    add_class(code, kClassStarSlash, true, 0x2, 0x2, 0xF, 0xF);
    NibbleTable& string = ts.kind[1];
    add_class(string, kClassSingle, false, 0x2, 0x2, 0x2, 0x2);
    add_class(string, kClassEscapedQuote, false, 0x5, 0x5, 0xC, 0xC);
    add_class(string, kClassEscapedQuote, true, 0x2, 0x2, 0x2, 0x2);
    add_class(string, kClassSlash, false, 0x5, 0x5, 0xC, 0xC);
    add_class(string, kClassSlash, true, 0x5, 0x5, 0xC, 0xC);
    add_class(ts.kind[2], kClassSingle, false, 0x2, 0x2, 0x2, 0x2);
    add_class(ts.kind[3], kClassSingle, false, 0x3, 0x3, 0xE, 0xE);
    return ts;
}

inline constexpr NibbleTables kNibbleTables = make_nibble_tables();

constexpr int nibble_kind(LexState l) {
    return literal_state(l) ? static_cast<int>(l) - static_cast<int>(LexState::kString) + 1 : 0;
}

__attribute__((target(RAVOLIN_AVX2), always_inline)) inline __m256i classes_avx2(__m256i b,
                                                                               const unsigned char (&lo)[32],
                                                                               const unsigned char (&hi)[32],
                                                                               __m256i low_half) {
    const __m256i by_lo = _mm256_load_si256(reinterpret_cast<const __m256i*>(lo));
    const __m256i by_hi = _mm256_load_si256(reinterpret_cast<const __m256i*>(hi));
    const __m256i l = _mm256_shuffle_epi8(by_lo, _mm256_and_si256(b, low_half));
    const __m256i h = _mm256_shuffle_epi8(by_hi, _mm256_and_si256(_mm256_srli_epi16(b, 4), low_half));
    return _mm256_and_si256(l, h);
}

__attribute__((target(RAVOLIN_AVX2), always_inline)) inline unsigned stop_mask_avx2(const unsigned char* p,
                                                                                    const NibbleTable& t,
                                                                                    const Splats& k) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i n = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    const __m256i low_half = splat_avx2(k.low_half);
    const __m256i cv = classes_avx2(v, t.v_lo, t.v_hi, low_half);
    const __m256i cn = classes_avx2(n, t.n_lo, t.n_hi, low_half);
    const __m256i hit = _mm256_and_si256(cv, _mm256_or_si256(cn, splat_avx2(k.singles)));
    // A byte with any class bit gets its top bit, with saturation.
    return static_cast<unsigned>(_mm256_movemask_epi8(_mm256_adds_epu8(hit, splat_avx2(k.seven_f))));
}

// The nibble table of kNibbleTables for lex, where the compiler cannot see
// into it (as splats()).
__attribute__((always_inline)) inline const NibbleTable& nibble_table(LexState lex) {
    const NibbleTable* t = &kNibbleTables.kind[nibble_kind(lex)];
    __asm__("" : "+r"(t));
    return *t;
}

// Not always_inline: the converter's own code calls it, which is compiled
// for AVX2 only where it is inlined into the AVX2 path. The state only
// picks a table.
__attribute__((target(RAVOLIN_AVX2))) inline StopMask window_mask_avx2(LexState lex, const unsigned char* p) {
    const Splats& k = splats();
    const NibbleTable& t = nibble_table(lex);
    return stop_mask_avx2(p, t, k) | static_cast<StopMask>(stop_mask_avx2(p + 32, t, k)) << 32;
}

// utf8_code3 in two instructions.
__attribute__((target(RAVOLIN_AVX2))) inline unsigned utf8_code3_bmi2(std::uint32_t x) {
    return _pext_u32(__builtin_bswap32(x), 0x0F3F3F00u);
}

// copy_window in one or two moves.
__attribute__((target(RAVOLIN_AVX2))) inline void copy_window_avx2(const unsigned char* from, unsigned char* to) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + 32));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), a);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 32), b);
}

__attribute__((target(RAVOLIN_AVX512))) inline void copy_window_avx512(const unsigned char* from, unsigned char* to) {
    _mm512_storeu_si512(to, _mm512_loadu_si512(from));
}

// A whole window in one go: AVX-512 compares give the bit mask directly.
template <LexState L>
__attribute__((target(RAVOLIN_AVX512), always_inline)) inline StopMask window_mask_avx512(const unsigned char* p,
                                                                                         const Splats& k) {
    const __m512i v = _mm512_loadu_si512(p);
    const __m512i n = _mm512_loadu_si512(p + 1);
    StopMask m = _mm512_cmplt_epi8_mask(v, splat_avx512(k.below));
    const StopMask blank_next = eq_avx512(n, k.space) | eq_avx512(n, k.tab);
    if (!literal_state(L)) m |= eq_avx512(v, k.space) & blank_next;
    if (L == LexState::kCode) {
        // A '#' matters only where it may begin an include (most are #define).
        m |= eq_avx512(v, k.quote) | (eq_avx512(v, k.hash) & (blank_next | eq_avx512(n, k.i)));
        m |= eq_avx512(v, k.backslash) & eq_avx512(n, k.quote);
        m |= eq_avx512(v, k.slash) & eq_avx512(_mm512_or_si512(n, splat_avx512(k.five)), k.slash);
        m |= eq_avx512(v, k.star) & eq_avx512(n, k.slash);
    } else if (L == LexState::kString) {
        m |= eq_avx512(v, k.quote) | (eq_avx512(v, k.backslash) & (eq_avx512(n, k.quote) | eq_avx512(n, k.backslash)));
    } else if (L == LexState::kRawString) {
        m |= eq_avx512(v, k.quote);
    } else if (L == LexState::kHeaderName) {
        m |= eq_avx512(v, k.greater);
    }
    return m;
}

__attribute__((target(RAVOLIN_AVX512))) inline StopMask window_mask_avx512(LexState lex, const unsigned char* p) {
    const Splats& k = splats();
    if (!literal_state(lex)) return window_mask_avx512<LexState::kCode>(p, k);
    switch (lex) {
    case LexState::kString:
        return window_mask_avx512<LexState::kString>(p, k);
    case LexState::kRawString:
        return window_mask_avx512<LexState::kRawString>(p, k);
    default:
        return window_mask_avx512<LexState::kHeaderName>(p, k);
    }
}
#endif

#ifdef RAVOLIN_HAVE_WIDE_SCAN
// What the converter's whole windows are made of: where a window's spaces,
// LFs, CRs, slashes and stars are, and its stops in code other than line
// ends, a space before a space, and a slash or star before the window's
// last byte (comments opening and closing). A CR before an LF counts as a
// line end where CR LF is kept.
struct WindowBits {
    StopMask space, lf, cr, slash, star, other;
};

template <bool kKeptCrLf>
__attribute__((target(RAVOLIN_AVX512))) inline WindowBits window_bits_avx512(const unsigned char* p) {
    const Splats& k = splats();
    const __m512i v = _mm512_loadu_si512(p);
    const __m512i n = _mm512_loadu_si512(p + 1);
    WindowBits w;
    w.space = eq_avx512(v, k.space);
    w.lf = eq_avx512(v, k.lf);
    w.cr = eq_avx512(v, k.cr);
    w.slash = eq_avx512(v, k.slash);
    w.star = eq_avx512(v, k.star);
    const StopMask tab_next = eq_avx512(n, k.tab);
    const StopMask line_ends = kKeptCrLf ? w.lf | (w.cr & w.lf >> 1) : w.lf;
    // As window_mask_avx512 tells stops in code, less the ones above.
    w.other = (_mm512_cmplt_epi8_mask(v, splat_avx512(k.below)) & ~line_ends) | (w.space & tab_next) |
              eq_avx512(v, k.quote) |
              (eq_avx512(v, k.hash) & (eq_avx512(n, k.space) | tab_next | eq_avx512(n, k.i))) |
              (eq_avx512(v, k.backslash) & eq_avx512(n, k.quote)) |
              ((w.slash | w.star) & StopMask{1} << 63);
    return w;
}

// Just after the last bit of m below bit n (0 when none), in three
// instructions.
__attribute__((target(RAVOLIN_AVX512))) inline int after_last_avx512(StopMask m, int n) {
    return 64 - static_cast<int>(_lzcnt_u64(_bzhi_u64(m, static_cast<unsigned>(n))));
}

// Which bytes of the runs of spaces in a window become tabs and which are
// dropped, for a tab size that is a power of two. A byte of a run is
// covered when a tab stop lies after its column and no later than the
// run's end: the covered byte just before each stop becomes its tab, the
// other covered bytes go, and the rest stay spaces (all of a run that
// reaches no stop). Only the bytes in `in`, whose runs end inside it, are
// asked about.
//
// Worked out on the window's bit masks alone, with no byte columns (byte
// shuffles would depend on one another in a chain of six). A byte's column
// modulo the tab size comes bit by bit from where its line starts: each
// line's start has its own (the first line's from col0), spread over the
// line's bytes with pext/pdep, and a run of lines whose starts have the
// bit set is filled by one subtraction. The bytes just before a stop are
// those one column short of a multiple of the tab size. A byte of a run is
// covered when the first byte at or after it that is such a byte or no
// space is such a byte and a space: the same kind of fill, from each of
// those back to the one before.
struct RunBits {
    StopMask tabs, dropped;
};

struct PlaceBits {
    // Bit j of k, and of k + 1, as masks over k: for tab sizes up to 32,
    // the largest power of two a tab size may be.
    StopMask at[6], after[6];
};

constexpr PlaceBits make_place_bits() {
    PlaceBits b{};
    for (int j = 0; j < 6; ++j) {
        for (int k = 0; k < 64; ++k) {
            if ((k >> j) & 1) b.at[j] |= StopMask{1} << k;
            if (((k + 1) >> j) & 1) b.after[j] |= StopMask{1} << k;
        }
    }
    return b;
}
inline constexpr PlaceBits kPlaceBits = make_place_bits();

// From each set bit of `from` (a subset of `at`) up to the next bit of `at`
// that is not in it; each bit of `at` starts a stretch.
__attribute__((target("bmi,bmi2"))) inline StopMask fill_stretches(StopMask from, StopMask at) {
    const StopMask labels = _pext_u64(from, at);
    const StopMask ups = labels & ~(labels << 1), downs = ~labels & labels << 1;
    return _pdep_u64(downs, at) - _pdep_u64(ups, at);
}

__attribute__((target("bmi,bmi2"))) inline RunBits run_bits(StopMask space, StopMask lf, StopMask in, int col0,
                                                                   int ts_shift) {
    const StopMask line_starts = lf << 1;
    const StopMask starts = line_starts | 1;
    const int first = -col0;  // where the first line would start
    // (k + 1) - (the start of k's line), bit by bit with a borrow: zero
    // modulo the tab size at the bytes before a stop.
    StopMask borrow = 0, differs = 0;
    for (int j = 0; j < ts_shift; ++j) {
        const StopMask start_bit =
            fill_stretches((line_starts & kPlaceBits.at[j]) | StopMask((first >> j) & 1), starts);
        const StopMask next_bit = kPlaceBits.after[j];
        differs |= next_bit ^ start_bit ^ borrow;
        borrow = (~next_bit & start_bit) | (~(next_bit ^ start_bit) & borrow);
    }
    const StopMask before_stop = ~differs;
    // Each byte belongs to the first byte before a stop or non-space at or
    // after it: covered when that is a space.
    const StopMask good = before_stop & space, marks = before_stop | ~space;
    const StopMask belongs = (good << 1) - _pdep_u64(_pext_u64(good, marks), marks << 1 | 1);
    const StopMask runs = space & (space << 1 | space >> 1) & in;
    const StopMask covered = runs & belongs;
    return {covered & before_stop, covered & ~before_stop};
}

// Where a window in code page 932 holds bytes >= 0x80, those that may lead
// a double-byte character, the bytes below 0x0E and backslashes (neither
// ends a character as it usually does).
struct Cp932Bits {
    StopMask high, lead, low, backslash;
};

__attribute__((target(RAVOLIN_AVX512))) inline Cp932Bits cp932_bits_avx512(const unsigned char* p) {
    const Splats& k = splats();
    const __m512i v = _mm512_loadu_si512(p);
    const StopMask high = _mm512_movepi8_mask(v);
    // 0x80-0x9F and 0xE0-0xFF: bits 5 and 6 alike.
    const StopMask bit5 = _mm512_test_epi8_mask(v, _mm512_set1_epi8(0x20));
    const StopMask bit6 = _mm512_test_epi8_mask(v, _mm512_set1_epi8(0x40));
    return {high, high & ~(bit5 ^ bit6), _mm512_cmplt_epu8_mask(v, splat_avx512(k.below)),
            eq_avx512(v, k.backslash)};
}

// Writes the window at p to out with tabs where their bits are and only
// the bytes in keep, a CR before each byte in crs; returns the bytes
// written (up to 128 more are stored, which the output has room for).
template <bool kCrs>
__attribute__((target(RAVOLIN_AVX512))) inline int put_window_avx512(const unsigned char* p, unsigned char* out,
                                                                    StopMask tabs, StopMask keep, StopMask crs) {
    const Splats& k = splats();
    const __m512i v = _mm512_mask_blend_epi8(tabs, _mm512_loadu_si512(p), splat_avx512(k.tab));
    if constexpr (!kCrs) {
        _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, v));
        return static_cast<int>(__builtin_popcountll(keep));
    } else {
        // Every byte gets a slot for a CR before it, kept where asked:
        // each half of the window spread over a whole one.
        constexpr StopMask kOdd = 0xAAAAAAAAAAAAAAAAull;
        const __m512i cr = splat_avx512(k.cr);
        const __m512i low = _mm512_mask_permutexvar_epi8(cr, kOdd, splat_avx512(k.twice_low), v);
        const __m512i high = _mm512_mask_permutexvar_epi8(cr, kOdd, splat_avx512(k.twice_high), v);
        const StopMask keep_low = _pdep_u64(keep, kOdd) | _pdep_u64(crs, ~kOdd);
        const StopMask keep_high = _pdep_u64(keep >> 32, kOdd) | _pdep_u64(crs >> 32, ~kOdd);
        const int n_low = static_cast<int>(__builtin_popcountll(keep_low));
        _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep_low, low));
        _mm512_storeu_si512(out + n_low, _mm512_maskz_compress_epi8(keep_high, high));
        return n_low + static_cast<int>(__builtin_popcountll(keep_high));
    }
}
#endif

// The code point of the three-byte UTF-8 sequence in the low three bytes of
// x (read little-endian, the lead byte lowest).
inline unsigned utf8_code3(std::uint32_t x) { return (x & 0x0Fu) << 12 | (x & 0x3F00u) >> 2 | (x & 0x3F0000u) >> 16; }

// Which of the 16 bytes at p are not spaces, bit k for p[k].
__attribute__((always_inline)) inline unsigned non_spaces16(const unsigned char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return ~static_cast<unsigned>(_mm_movemask_epi8(eq(v, splats().space))) & 0xFFFFu;
}

// The first byte from p on that is not a space, or a point at or past lim
// (up to 15 bytes past it) when there is none before lim.
inline const unsigned char* run_end_sse2(const unsigned char* p, const unsigned char* lim) {
    const __m128i sp = splat(splats().space);
    while (p < lim) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, sp))) & 0xFFFFu;
        if (other != 0) return p + __builtin_ctz(other);
        p += 16;
    }
    return p;
}

// Writes tabs tabs and then spaces, 16 bytes of each: the caller keeps
// the ones it needs (at most 16 in all).
__attribute__((always_inline)) inline void put_blanks_sse2(unsigned char* out, int tabs) {
    const Splats& k = splats();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), splat(k.tab));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + tabs), splat(k.space));
}

// Writes n copies of byte, most often with one 16-byte store: up to 15 bytes
// past the n may be written too (the output has room for them).
__attribute__((always_inline)) inline void fill_sse2(unsigned char* out, const unsigned char (&byte)[64], int n) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), splat(byte));
    if (n > 16) std::memset(out + 16, byte[0], static_cast<std::size_t>(n - 16));
}
#endif

}  // namespace ravolin::scan
