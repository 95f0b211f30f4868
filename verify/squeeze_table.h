// A table for squeezing bytes with AVX2, which has no compress: for each
// 8-bit mask, the shuffle that gathers its bytes to the front; and what the
// check's AVX2 paths do with it.
#pragma once
#include <cstddef>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace ravolin {

struct SqueezeTables {
    unsigned char shuffle[256][8];  // the places of a byte's bits set, in order
    unsigned char select[256][8];   // the same, as a byte's k-th bit set
};

constexpr SqueezeTables make_squeeze_tables() {
    SqueezeTables t{};
    for (int m = 0; m < 256; ++m) {
        int n = 0;
        for (int k = 0; k < 8; ++k) {
            if (m >> k & 1) {
                t.shuffle[m][n] = static_cast<unsigned char>(k);
                t.select[m][n] = static_cast<unsigned char>(k);
                ++n;
            }
        }
        for (; n < 8; ++n) t.shuffle[m][n] = 0x80;  // pshufb writes a zero
    }
    return t;
}

inline constexpr SqueezeTables kSqueeze = make_squeeze_tables();

#if defined(__x86_64__)
// The bytes of raw[0..63] that keep has, gathered to out eight at a time
// (up to 8 bytes past the last one are written).
__attribute__((target("avx2,popcnt"))) inline void gather_kept(const unsigned char* raw, std::uint64_t keep,
                                                               unsigned char* out) {
    std::size_t n = 0;
    for (int g = 0; g < 8; ++g) {
        const unsigned m = static_cast<unsigned>(keep >> (8 * g) & 0xFF);
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(raw + 8 * g));
        const __m128i order = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kSqueeze.shuffle[m]));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + n), _mm_shuffle_epi8(bytes, order));
        n += static_cast<std::size_t>(__builtin_popcount(m));
    }
}

// The place of the k-th bit set in m (there is one), found a byte at a time
// without pdep, which is slow on some processors that have AVX2.
__attribute__((target("popcnt"))) inline std::size_t select_bit(std::uint64_t m, std::size_t k) {
    std::size_t base = 0;
    for (;;) {
        const std::size_t n = static_cast<std::size_t>(__builtin_popcount(static_cast<unsigned>(m & 0xFF)));
        if (k < n) return base + kSqueeze.select[m & 0xFF][k];
        k -= n;
        m >>= 8;
        base += 8;
    }
}
#endif

}  // namespace ravolin
