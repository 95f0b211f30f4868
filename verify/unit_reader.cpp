#include "verify/unit_reader.h"

#include <cstring>

namespace ravolin {
namespace {

enum ByteClass : unsigned char { kPlain = 0, kCr, kLf, kCtrlZ, kLead };

struct Tables {
    unsigned char cls[256];
    unsigned char trail[256];  // 1 for a byte that can follow a lead byte in code page 932
    unsigned char single[2][256];  // [pairs]: 1 for a byte that is a unit by itself
};

constexpr Tables make_tables() {
    Tables t{};
    for (int b = 0; b < 256; ++b) {
        unsigned char c = kPlain;
        if (b == '\r') c = kCr;
        else if (b == '\n') c = kLf;
        else if (b == 0x1A) c = kCtrlZ;
        else if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) c = kLead;
        t.cls[b] = c;
        t.trail[b] = (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
        t.single[0][b] = c == kPlain || c == kLead;
        t.single[1][b] = c == kPlain;
    }
    return t;
}

constexpr Tables kTables = make_tables();

}  // namespace

void UnitReader::fill() {
    if (lends_) {
        lend();
        pairs_ = *enc_ == Encoding::kCp932;
        return;
    }
    const std::size_t rest = lim_ - pos_;
    std::memmove(buf_, buf_ + pos_, rest);
    base_ += pos_;
    pos_ = 0;
    lim_ = rest;
    // Reads may come back short (a pipe): go on until a unit's two bytes are
    // in view or the source has no more.
    while (lim_ < 2 && !done_) {
        long got = src_->read(buf_ + lim_, kBufSize - lim_);
        if (got < 0) {
            error_ = true;
            done_ = true;
        } else if (got == 0) {
            done_ = true;
        } else {
            lim_ += static_cast<std::size_t>(got);
        }
    }
    pairs_ = *enc_ == Encoding::kCp932;
}

// Called with fewer than two bytes in view: on in place in the next block,
// with a byte left over joined to its first bytes in buf_.
void UnitReader::lend() {
    // Enough for a unit, and a view that is not all bridge.
    constexpr std::size_t kBridge = 16;
    for (;;) {
        if (bridging_ && pos_ >= lent_at_) {
            // Every byte before the lent block is read: on in place.
            const std::size_t skip = pos_ - lent_at_;
            base_ += lent_at_;
            text_ = lent_;
            pos_ = skip;
            lim_ = lent_len_;
            bridging_ = false;
        }
        if (lim_ - pos_ >= 2 || done_) return;
        const std::size_t rest = lim_ - pos_;
        if (rest > 0) buf_[0] = text_[pos_];
        base_ += pos_;
        text_ = buf_;
        pos_ = 0;
        lim_ = rest;
        unsigned char* data;
        std::size_t plain;
        const long got = src_->lend(&data, &plain);
        if (got <= 0) {
            error_ = got < 0;
            done_ = true;
            return;
        }
        const std::size_t n = static_cast<std::size_t>(got);
        if (rest == 0) {
            text_ = data;
            lim_ = n;
            continue;
        }
        const std::size_t k = n < kBridge ? n : kBridge;
        std::memcpy(buf_ + rest, data, k);
        lim_ = rest + k;
        lent_ = data;
        lent_len_ = n;
        lent_at_ = rest;
        bridging_ = true;
    }
}

const unsigned char* UnitReader::single_bytes() const { return kTables.single[pairs_]; }

Unit UnitReader::peek() {
    if (lim_ - pos_ < 2 && !done_) fill();
    len_ = 1;
    if (error_) return {UnitKind::kError, 0, 0};
    if (pos_ == lim_) return {UnitKind::kEnd, 0, 0};
    const unsigned char b = text_[pos_];
    const bool more = pos_ + 1 < lim_;  // when false, b is the stream's last byte
    const unsigned char next = more ? text_[pos_ + 1] : 0;
    switch (kTables.cls[b]) {
    case kCr:
        if (next == '\n' && more) {
            len_ = 2;
            return {UnitKind::kNewline, '\r', 0};
        }
        return {UnitKind::kLoneCr, 0, 0};
    case kLf:
        return {original_ ? UnitKind::kNewline : UnitKind::kBareLf, '\n', 0};
    case kCtrlZ:
        if (original_ && !more) return {UnitKind::kEnd, 0, 0};
        break;
    case kLead:
        // A lead byte before anything but a trail byte (a line end, a quote:
        // not code page 932 at all, e.g. Latin-1 text) stands alone, so the
        // byte after it keeps its meaning for C.
        if (pairs_ && more && kTables.trail[next]) {
            len_ = 2;
            return {UnitKind::kPair, b, next};
        }
        break;
    default:
        break;
    }
    return {UnitKind::kByte, b, 0};
}

}  // namespace ravolin
