#include "batch/text_checks.h"

#include <cstring>

namespace ravolin {
namespace {

unsigned char g_block[1 << 16];

}  // namespace

TextKind scan_text(FileSystem& fs, const char* name, Encoding* encoding, const std::atomic<bool>& cancel) {
    InFile* in = fs.open_read(name);
    if (!in) return TextKind::kReadError;
    InFileCloser closer(in);
    Utf8Classifier classifier;
    bool ended = false;  // a Ctrl-Z was the last byte so far
    for (;;) {
        if (cancel.load(std::memory_order_relaxed)) return TextKind::kCancelled;
        const long n = in->read(g_block, sizeof g_block);
        if (n < 0) return TextKind::kReadError;
        if (n == 0) break;
        const std::size_t len = static_cast<std::size_t>(n);
        if (ended || std::memchr(g_block, 0, len)) return TextKind::kBinary;
        const void* ctrl_z = std::memchr(g_block, 0x1A, len);
        if (ctrl_z) {
            if (static_cast<const unsigned char*>(ctrl_z) != g_block + len - 1) return TextKind::kBinary;
            ended = true;
        }
        classifier.feed(g_block, len);
    }
    *encoding = classifier.result();
    return TextKind::kText;
}

VerifyResult check_conversion(FileSystem& fs, const char* original, const char* converted, Encoding encoding) {
    InFile* a = fs.open_read(original);
    if (!a) return VerifyResult::kReadError;
    InFileCloser a_closer(a);
    InFile* b = fs.open_read(converted);
    if (!b) return VerifyResult::kReadError;
    InFileCloser b_closer(b);
    return verify_conversion(*a, *b, encoding);
}

}  // namespace ravolin
