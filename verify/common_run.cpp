#include "verify/common_run.h"

#include "verify/unit_reader.h"

#if defined(__SSE2__) && !defined(RAVOLIN_SCALAR_SCAN)
#include <emmintrin.h>
#endif

namespace ravolin {
namespace {

inline bool blank(unsigned char c) { return c == ' ' || c == '\t'; }

// Takes one place where the bytes need a closer look: the same character
// that passes, a run of blanks on each side, or a line end on each side.
// False, with i and j as they were, when something else stands there.
inline bool step(const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb, std::size_t& i,
                 std::size_t& j, const CLexer::Bulk& bulk, const unsigned char* single, bool own_ends) {
    const unsigned char x = a[i], y = b[j];
    if (x == y && bulk.pass[x] && single[x]) {
        ++i;
        ++j;
        return true;
    }
    if (x == y && bulk.lookahead != 0 && x == bulk.lookahead && i + 1 < na && j + 1 < nb) {
        const unsigned char nx = a[i + 1], ny = b[j + 1];
        for (unsigned char u : bulk.unless) {
            if (nx == u || ny == u) return false;
        }
        ++i;
        ++j;
        return true;
    }
    if (bulk.blank_runs && blank(x) && blank(y)) {
        // A run is one token: it must end inside the view on both sides,
        // or the next view could still add to it.
        std::size_t ei = i + 1, ej = j + 1;
        while (ei < na && blank(a[ei])) ++ei;
        while (ej < nb && blank(b[ej])) ++ej;
        if (ei == na || ej == nb) return false;
        i = ei;
        j = ej;
        return true;
    }
    if (bulk.lines) {
        const std::size_t la = original_newline(a + i, na - i);
        const std::size_t lb = own_ends ? original_newline(b + j, nb - j) : converted_newline(b + j, nb - j);
        if (la != 0 && lb != 0 && (!own_ends || la == lb)) {
            i += la;
            j += lb;
            return true;
        }
    }
    return false;
}

}  // namespace

RunEnd common_run(const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb,
                  const CLexer::Bulk& bulk, const unsigned char* single, bool pairs, bool own_ends) {
    std::size_t i = 0, j = 0;
#if defined(__SSE2__) && !defined(RAVOLIN_SCALAR_SCAN)
    // Sixteen places at a time are passed when each holds the same byte on
    // both sides and none is a control byte, a byte the state stops at or
    // (with pairs) a byte >= 0x80. A space passes too where blanks are no
    // run of their own or when the same byte follows it on both sides: most
    // blanks in C are single, and where runs start alike this way, either
    // both end at the same place or both are still blanks where a place
    // stops, so their rests compare as runs. Every other place goes to
    // step(), which decides exactly.
    const __m128i space = _mm_set1_epi8(' '), ctl = _mm_set1_epi8(0x20);
    const __m128i s0 = _mm_set1_epi8(static_cast<char>(bulk.syntax[0]));
    const __m128i s1 = _mm_set1_epi8(static_cast<char>(bulk.syntax[1]));
    const __m128i s2 = _mm_set1_epi8(static_cast<char>(bulk.syntax[2]));
    const __m128i s3 = _mm_set1_epi8(static_cast<char>(bulk.syntax[3]));
    const __m128i s4 = _mm_set1_epi8(static_cast<char>(bulk.syntax[4]));
    const __m128i s5 = _mm_set1_epi8(static_cast<char>(bulk.syntax[5]));
    const __m128i s6 = _mm_set1_epi8(static_cast<char>(bulk.syntax[6]));
    const __m128i s7 = _mm_set1_epi8(static_cast<char>(bulk.syntax[7]));
    const int high = pairs ? 0xFFFF : 0;
    while (i + 17 <= na && j + 17 <= nb) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + j));
        __m128i spaces = _mm_cmpeq_epi8(va, space);
        if (bulk.blank_runs) {
            const __m128i na1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i + 1));
            const __m128i nb1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + j + 1));
            spaces = _mm_and_si128(spaces, _mm_cmpeq_epi8(na1, nb1));
        }
        const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(va, ctl), va);
        __m128i stop = _mm_andnot_si128(spaces, control);
        stop = _mm_or_si128(stop, _mm_or_si128(_mm_cmpeq_epi8(va, s0), _mm_cmpeq_epi8(va, s1)));
        stop = _mm_or_si128(stop, _mm_or_si128(_mm_cmpeq_epi8(va, s2), _mm_cmpeq_epi8(va, s3)));
        stop = _mm_or_si128(stop, _mm_or_si128(_mm_cmpeq_epi8(va, s4), _mm_cmpeq_epi8(va, s5)));
        stop = _mm_or_si128(stop, _mm_or_si128(_mm_cmpeq_epi8(va, s6), _mm_cmpeq_epi8(va, s7)));
        const int good = _mm_movemask_epi8(_mm_andnot_si128(stop, _mm_cmpeq_epi8(va, vb))) &
                         ~(_mm_movemask_epi8(va) & high);
        if (good == 0xFFFF) {
            i += 16;
            j += 16;
            continue;
        }
        const int k = __builtin_ctz(static_cast<unsigned>(~good));
        i += static_cast<std::size_t>(k);
        j += static_cast<std::size_t>(k);
        if (!step(a, na, b, nb, i, j, bulk, single, own_ends)) return {i, j};
    }
#else
    (void)pairs;  // step() reads single, which says all pairs need
#endif
    while (i < na && j < nb && step(a, na, b, nb, i, j, bulk, single, own_ends)) {
    }
    return {i, j};
}

}  // namespace ravolin
