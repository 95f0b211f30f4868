// The engine's scanners: where the next byte that needs attention is, where a
// run of spaces ends, and a fill of tabs or spaces. The vector scanners (SSE2,
// and in the 64-bit programs AVX2 and AVX-512 where the processor has them)
// are the ones the programs use; the byte-at-a-time one is their reference,
// which the tests and the fuzz target check them against (and the one for
// builds without SSE2).
#pragma once
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
constexpr bool literal_state(LexState l) {
    return l == LexState::kString || l == LexState::kRawString || l == LexState::kHeaderName;
}

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
inline __m128i eq(__m128i v, char ch) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(ch)); }

// Which of the 16 bytes at p need attention in state L (bit k for p[k]); a
// byte the scalar scan would stop at may be left out only where its handler
// would copy it as it is. The look-ahead byte p[16] may lie past the piece:
// the handlers see a NUL there, which copies the byte as well, so the answer
// stays the same either way.
template <LexState L>
__attribute__((always_inline)) inline unsigned stop_mask(const unsigned char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i n = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    // Below 0x0E as a signed byte: the tab, LF and CR, the other controls
    // below them (rare; their handler copies them) and every byte >= 0x80
    // (its handler tells the encodings apart).
    __m128i m = _mm_cmplt_epi8(v, _mm_set1_epi8(0x0E));
    if (!literal_state(L)) {
        // A space followed by a space or a tab starts a run.
        m = _mm_or_si128(m, _mm_and_si128(eq(v, ' '), _mm_or_si128(eq(n, ' '), eq(n, '\t'))));
    }
    if (L == LexState::kCode) {
        // '"' or '#' in one compare: OR-ing 0x01 maps 0x22 to 0x23.
        m = _mm_or_si128(m, eq(_mm_or_si128(v, _mm_set1_epi8(0x01)), '#'));
        m = _mm_or_si128(m, _mm_and_si128(eq(v, '\\'), eq(n, '"')));
        // '/' or '*' next, in one compare: OR-ing 0x05 maps 0x2A, 0x2B,
        // 0x2E and 0x2F to '/'. A slash before '+' or '.' is a stop the
        // handler copies as it is.
        m = _mm_or_si128(m, _mm_and_si128(eq(v, '/'), eq(_mm_or_si128(n, _mm_set1_epi8(0x05)), '/')));
    } else if (L == LexState::kBlockComment) {
        m = _mm_or_si128(m, _mm_and_si128(eq(v, '*'), eq(n, '/')));
    } else if (L == LexState::kString) {
        m = _mm_or_si128(m, eq(v, '"'));
        m = _mm_or_si128(m, _mm_and_si128(eq(v, '\\'), _mm_or_si128(eq(n, '"'), eq(n, '\\'))));
    } else if (L == LexState::kRawString) {
        m = _mm_or_si128(m, eq(v, '"'));
    } else if (L == LexState::kHeaderName) {
        m = _mm_or_si128(m, eq(v, '>'));
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
__attribute__((always_inline)) inline StopMask window_mask(const unsigned char* p) {
    StopMask m = stop_mask<L>(p) | static_cast<StopMask>(stop_mask<L>(p + 16)) << 16;
    if constexpr (kWindowBytes == 64) {
        m |= static_cast<StopMask>(stop_mask<L>(p + 32)) << (kWindowBytes / 2) |
             static_cast<StopMask>(stop_mask<L>(p + 48)) << (kWindowBytes / 2 + 16);
    }
    return m;
}

// Out of line: it is large, and the converter's state must not be passed to
// it (see the engine's loop).
__attribute__((noinline)) inline StopMask window_mask(LexState lex, const unsigned char* p) {
    switch (lex) {
    case LexState::kCode:
        return window_mask<LexState::kCode>(p);
    case LexState::kBlockComment:
        return window_mask<LexState::kBlockComment>(p);
    case LexState::kLineComment:
        return window_mask<LexState::kLineComment>(p);
    case LexState::kString:
        return window_mask<LexState::kString>(p);
    case LexState::kRawString:
        return window_mask<LexState::kRawString>(p);
    default:
        return window_mask<LexState::kHeaderName>(p);
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
__attribute__((target("avx2"), always_inline)) inline __m256i eq_avx2(__m256i v, char ch) {
    return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(ch));
}

__attribute__((target("avx512bw"), always_inline)) inline StopMask eq_avx512(__m512i v, char ch) {
    return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(ch));
}

// The same stops as stop_mask, 32 bytes at a time.
template <LexState L>
__attribute__((target("avx2"), always_inline)) inline unsigned stop_mask_avx2(const unsigned char* p) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i n = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    __m256i m = _mm256_cmpgt_epi8(_mm256_set1_epi8(0x0E), v);
    if (!literal_state(L)) {
        m = _mm256_or_si256(m, _mm256_and_si256(eq_avx2(v, ' '), _mm256_or_si256(eq_avx2(n, ' '), eq_avx2(n, '\t'))));
    }
    if (L == LexState::kCode) {
        m = _mm256_or_si256(m, eq_avx2(_mm256_or_si256(v, _mm256_set1_epi8(0x01)), '#'));
        m = _mm256_or_si256(m, _mm256_and_si256(eq_avx2(v, '\\'), eq_avx2(n, '"')));
        const __m256i slash_or_star = eq_avx2(_mm256_or_si256(n, _mm256_set1_epi8(0x05)), '/');
        m = _mm256_or_si256(m, _mm256_and_si256(eq_avx2(v, '/'), slash_or_star));
    } else if (L == LexState::kBlockComment) {
        m = _mm256_or_si256(m, _mm256_and_si256(eq_avx2(v, '*'), eq_avx2(n, '/')));
    } else if (L == LexState::kString) {
        m = _mm256_or_si256(m, eq_avx2(v, '"'));
        m = _mm256_or_si256(m, _mm256_and_si256(eq_avx2(v, '\\'), _mm256_or_si256(eq_avx2(n, '"'), eq_avx2(n, '\\'))));
    } else if (L == LexState::kRawString) {
        m = _mm256_or_si256(m, eq_avx2(v, '"'));
    } else if (L == LexState::kHeaderName) {
        m = _mm256_or_si256(m, eq_avx2(v, '>'));
    }
    return static_cast<unsigned>(_mm256_movemask_epi8(m));
}

template <LexState L>
__attribute__((target("avx2"), always_inline)) inline StopMask window_mask_avx2(const unsigned char* p) {
    return stop_mask_avx2<L>(p) | static_cast<StopMask>(stop_mask_avx2<L>(p + 32)) << 32;
}

__attribute__((target("avx2"), noinline)) inline StopMask window_mask_avx2(LexState lex, const unsigned char* p) {
    switch (lex) {
    case LexState::kCode:
        return window_mask_avx2<LexState::kCode>(p);
    case LexState::kBlockComment:
        return window_mask_avx2<LexState::kBlockComment>(p);
    case LexState::kLineComment:
        return window_mask_avx2<LexState::kLineComment>(p);
    case LexState::kString:
        return window_mask_avx2<LexState::kString>(p);
    case LexState::kRawString:
        return window_mask_avx2<LexState::kRawString>(p);
    default:
        return window_mask_avx2<LexState::kHeaderName>(p);
    }
}

// A whole window in one go: AVX-512 compares give the bit mask directly.
template <LexState L>
__attribute__((target("avx512bw"), always_inline)) inline StopMask window_mask_avx512(const unsigned char* p) {
    const __m512i v = _mm512_loadu_si512(p);
    const __m512i n = _mm512_loadu_si512(p + 1);
    StopMask m = _mm512_cmplt_epi8_mask(v, _mm512_set1_epi8(0x0E));
    if (!literal_state(L)) m |= eq_avx512(v, ' ') & (eq_avx512(n, ' ') | eq_avx512(n, '\t'));
    if (L == LexState::kCode) {
        m |= eq_avx512(_mm512_or_si512(v, _mm512_set1_epi8(0x01)), '#') | (eq_avx512(v, '\\') & eq_avx512(n, '"'));
        m |= eq_avx512(v, '/') & eq_avx512(_mm512_or_si512(n, _mm512_set1_epi8(0x05)), '/');
    } else if (L == LexState::kBlockComment) {
        m |= eq_avx512(v, '*') & eq_avx512(n, '/');
    } else if (L == LexState::kString) {
        m |= eq_avx512(v, '"') | (eq_avx512(v, '\\') & (eq_avx512(n, '"') | eq_avx512(n, '\\')));
    } else if (L == LexState::kRawString) {
        m |= eq_avx512(v, '"');
    } else if (L == LexState::kHeaderName) {
        m |= eq_avx512(v, '>');
    }
    return m;
}

__attribute__((target("avx512bw"), noinline)) inline StopMask window_mask_avx512(LexState lex, const unsigned char* p) {
    switch (lex) {
    case LexState::kCode:
        return window_mask_avx512<LexState::kCode>(p);
    case LexState::kBlockComment:
        return window_mask_avx512<LexState::kBlockComment>(p);
    case LexState::kLineComment:
        return window_mask_avx512<LexState::kLineComment>(p);
    case LexState::kString:
        return window_mask_avx512<LexState::kString>(p);
    case LexState::kRawString:
        return window_mask_avx512<LexState::kRawString>(p);
    default:
        return window_mask_avx512<LexState::kHeaderName>(p);
    }
}
#endif

inline const unsigned char* run_end_sse2(const unsigned char* p, const unsigned char* lim) {
    const __m128i sp = _mm_set1_epi8(' ');
    while (p < lim) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, sp))) & 0xFFFFu;
        if (other != 0) {
            p += __builtin_ctz(other);
            break;
        }
        p += 16;
    }
    return p < lim ? p : lim;
}

// Writes n copies of byte, most often with one 16-byte store: up to 15 bytes
// past the n may be written too (the output has room for them).
inline void fill_sse2(unsigned char* out, unsigned char byte, int n) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_set1_epi8(static_cast<char>(byte)));
    if (n > 16) std::memset(out + 16, byte, static_cast<std::size_t>(n - 16));
}
#endif

}  // namespace ravolin::scan
