#include "batch/text_checks.h"

#include <cstring>

namespace ravolin {
namespace {

constexpr unsigned char kBom[] = {0xEF, 0xBB, 0xBF};

}  // namespace

bool TextScan::feed(const unsigned char* p, std::size_t n) {
    if (n == 0) return true;
    for (std::size_t i = 0; i < n && fed_ < sizeof kBom; ++i, ++fed_) {
        if (p[i] != kBom[fed_]) bom_ = false;
    }
    if (ended_ || std::memchr(p, 0, n)) return false;
    const void* ctrl_z = std::memchr(p, 0x1A, n);
    if (ctrl_z) {
        if (static_cast<const unsigned char*>(ctrl_z) != p + n - 1) return false;
        ended_ = true;
    }
    classifier_.feed(p, n);
    cp932_.feed(p, n);
    return true;
}

Encoding TextScan::encoding() const {
    return bom_ && fed_ == sizeof kBom ? Encoding::kUtf8 : classifier_.result();
}

TextKind scan_text(FileSystem& fs, const char* path, Encoding* encoding, const std::atomic<bool>& cancel,
                   unsigned char* block, std::size_t block_size) {
    InFile* in = fs.open_read(path);
    if (!in) return TextKind::kReadError;
    InFileCloser closer(in);
    TextScan scan;
    for (;;) {
        if (cancel.load(std::memory_order_relaxed)) return TextKind::kCancelled;
        const long n = in->read(block, block_size);
        if (n < 0) return TextKind::kReadError;
        if (n == 0) break;
        if (!scan.feed(block, static_cast<std::size_t>(n))) return TextKind::kBinary;
    }
    *encoding = scan.encoding();
    return scan.unclear() ? TextKind::kUnclear : TextKind::kText;
}

VerifyResult check_conversion(FileSystem& fs, const char* original, const char* converted, Encoding encoding,
                              LineEnds ends) {
    InFile* a = fs.open_read(original);
    if (!a) return VerifyResult::kReadError;
    InFileCloser a_closer(a);
    InFile* b = fs.open_read(converted);
    if (!b) return VerifyResult::kReadError;
    InFileCloser b_closer(b);
    return verify_conversion(*a, *b, encoding, ends);
}

}  // namespace ravolin
