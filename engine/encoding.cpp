#include "engine/encoding.h"

#include <cstdint>
#include <cstring>

#include "engine/utf8.h"

namespace ravolin {

void Utf8Classifier::feed(const unsigned char* p, std::size_t n) {
    std::size_t i = 0;
    while (i < n && !invalid_) {
        if (need_ == 0) {
            // ASCII goes by eight bytes at a time.
            while (i + 8 <= n) {
                std::uint64_t w;
                std::memcpy(&w, p + i, 8);
                if (w & 0x8080808080808080ull) break;
                i += 8;
            }
            if (i >= n) break;
            const unsigned char b = p[i++];
            if (b < 0x80) continue;
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
    for (long i = 0; i < got; ++i) {
        if (buf[i] >= 0x80) {
            decide(buf + i, static_cast<std::size_t>(got - i));
            break;
        }
    }
    return got;
}

void EncodingSniffer::decide(const unsigned char* from, std::size_t n) {
    Utf8Classifier c;
    c.feed(from, n);
    bool at_end = false;
    while (!c.settled() && n + ahead_len_ < kLookahead) {
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
        ahead_len_ += static_cast<std::size_t>(r);
    }
    // A sequence cut by the end of the look-ahead may go on after it; one
    // cut by the end of the stream is not UTF-8.
    const bool utf8 = at_end ? c.result() == Encoding::kUtf8 : c.valid_so_far();
    *target_ = utf8 ? Encoding::kUtf8 : Encoding::kCp932;
    decided_ = true;
}

}  // namespace ravolin
