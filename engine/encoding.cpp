#include "engine/encoding.h"

#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "engine/utf8.h"

namespace ravolin {
namespace {

// Index of the first byte >= 0x80 in p[0, n), or n; 64 or 8 bytes at a time.
std::size_t ascii_prefix(const unsigned char* p, std::size_t n) {
    std::size_t i = 0;
#ifdef __SSE2__
    for (; i + 64 <= n; i += 64) {
        const auto* v = reinterpret_cast<const __m128i*>(p + i);
        const __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(v), _mm_loadu_si128(v + 1)),
                                         _mm_or_si128(_mm_loadu_si128(v + 2), _mm_loadu_si128(v + 3)));
        if (_mm_movemask_epi8(any) != 0) break;
    }
#endif
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ull) break;
    }
    while (i < n && p[i] < 0x80) ++i;
    return i;
}

}  // namespace

void Utf8Classifier::feed(const unsigned char* p, std::size_t n) {
    std::size_t i = 0;
    while (i < n && !invalid_) {
        if (need_ == 0) {
            i += ascii_prefix(p + i, n - i);
            if (i >= n) break;
            const unsigned char b = p[i++];
            const Utf8Lead lead = kUtf8Leads.at[b];
            if (lead.len == 0) {
                invalid_ = true;
                break;
            }
            need_ = lead.len - 1;
            lo_ = lead.lo;
            hi_ = lead.hi;
            multibyte_ = true;
        } else {
            const unsigned char b = p[i++];
            if (b < lo_ || b > hi_) {
                invalid_ = true;
                break;
            }
            --need_;
            lo_ = 0x80;
            hi_ = 0xBF;
        }
    }
}

Encoding Utf8Classifier::result() const {
    return !invalid_ && need_ == 0 && multibyte_ ? Encoding::kUtf8 : Encoding::kCp932;
}

void Cp932Classifier::feed(const unsigned char* p, std::size_t n) {
    std::size_t i = 0;
    while (i < n && !invalid_) {
        if (lead_) {
            const unsigned char b = p[i++];
            invalid_ = !((b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC));
            lead_ = false;
            continue;
        }
        i += ascii_prefix(p + i, n - i);
        if (i >= n) break;
        const unsigned char b = p[i++];
        lead_ = b <= 0x9F || b >= 0xE0;  // >= 0x80 here; 0xA0-0xDF are half-width kana
    }
}

long EncodingSniffer::read(unsigned char* buf, std::size_t n) {
    if (ahead_pos_ < ahead_len_) {
        std::size_t k = ahead_len_ - ahead_pos_;
        if (k > n) k = n;
        std::memcpy(buf, ahead_ + ahead_pos_, k);
        ahead_pos_ += k;
        return static_cast<long>(k);
    }
    if (failed_) return -1;
    const long got = inner_->read(buf, n);
    if (got <= 0 || decided_) return got;
    const std::size_t n_got = static_cast<std::size_t>(got);
    const std::size_t first = ascii_prefix(buf, n_got);
    if (first < n_got) decide(buf + first, n_got - first);
    return got;
}

long EncodingSniffer::lend(unsigned char** data, std::size_t* plain) {
    *plain = 0;
    if (ahead_pos_ < ahead_len_) {
        *data = ahead_ + ahead_pos_;
        const std::size_t k = ahead_len_ - ahead_pos_;
        ahead_pos_ = ahead_len_;
        return static_cast<long>(k);
    }
    if (failed_) return -1;
    // Reading ahead below leaves this block lent: read never ends a loan.
    const long got = inner_->lend(data, plain);
    if (got <= 0 || decided_) return got;
    const std::size_t n_got = static_cast<std::size_t>(got);
    const std::size_t first = ascii_prefix(*data, n_got);
    if (first < n_got) decide(*data + first, n_got - first);
    return got;
}

void EncodingSniffer::decide(const unsigned char* from, std::size_t n) {
    Utf8Classifier c;
    Cp932Classifier cp932;
    c.feed(from, n);
    cp932.feed(from, n);
    bool at_end = false;
    // On while either reading may still hold: a file that is neither is
    // told as soon as it is known.
    while ((!c.settled() || cp932.valid_so_far()) && n + ahead_len_ < kLookahead) {
        const long r = inner_->read(ahead_ + ahead_len_, kLookahead - ahead_len_);
        if (r < 0) {
            failed_ = true;  // reported after the bytes read so far
            break;
        }
        if (r == 0) {
            at_end = true;
            break;
        }
        c.feed(ahead_ + ahead_len_, static_cast<std::size_t>(r));
        cp932.feed(ahead_ + ahead_len_, static_cast<std::size_t>(r));
        ahead_len_ += static_cast<std::size_t>(r);
    }
    // A sequence cut by the end of the look-ahead may go on after it; one
    // cut by the end of the stream is not UTF-8.
    const bool utf8 = at_end ? c.result() == Encoding::kUtf8 : c.valid_so_far();
    unclear_ = !utf8 && !(at_end ? cp932.valid() : cp932.valid_so_far());
    std::memset(ahead_ + ahead_len_, 0, kPieceSlack);
    *target_ = utf8 ? Encoding::kUtf8 : Encoding::kCp932;
    decided_ = true;
}

}  // namespace ravolin
