// What a run makes sure of before a converted file may replace its original:
// the file is text, in which encoding, and the conversion changed nothing
// but layout. ravolin-cli's --check and --diff ask the same questions, so
// that they skip what a run would skip.
#pragma once
#include <atomic>
#include <cstddef>

#include "batch/file_system.h"
#include "engine/encoding.h"
#include "verify/verify.h"

namespace ravolin {

// A file's bytes fed in order, in blocks of any size.
class TextScan {
public:
    // False once the bytes are known to be binary: a NUL byte, or anything
    // after a Ctrl-Z (one Ctrl-Z as the very last byte is the old
    // end-of-text mark). Feed nothing more then.
    bool feed(const unsigned char* p, std::size_t n);
    // The encoding to convert text with, once every byte is fed: UTF-8 when
    // it starts with a UTF-8 byte order mark or is UTF-8 by Utf8Classifier's
    // rule, else code page 932.
    Encoding encoding() const;
    // Once every byte is fed: neither UTF-8 nor code page 932 as the
    // converter reads it, so "auto" cannot tell how to read the file.
    bool unclear() const { return !(bom_ && fed_ == sizeof kBomBytes) && encoding_unclear(classifier_, cp932_); }

private:
    static constexpr unsigned char kBomBytes[] = {0xEF, 0xBB, 0xBF};
    Utf8Classifier classifier_;
    Cp932Classifier cp932_;
    std::size_t fed_ = 0;  // up to the length of a byte order mark
    bool bom_ = true;      // the bytes so far begin like one
    bool ended_ = false;   // a Ctrl-Z was the last byte so far
};

// kUnclear: text in neither encoding (see TextScan::unclear).
enum class TextKind { kText, kUnclear, kBinary, kReadError, kCancelled };

// Reads path once through a TextScan, block_size bytes at a time into
// block; for text *encoding becomes its encoding.
TextKind scan_text(FileSystem& fs, const char* path, Encoding* encoding, const std::atomic<bool>& cancel,
                   unsigned char* block, std::size_t block_size);

// The independent check of converted against original (both closed files);
// ends as verify_conversion takes them.
VerifyResult check_conversion(FileSystem& fs, const char* original, const char* converted, Encoding encoding,
                              LineEnds ends = LineEnds::kTranslated);

}  // namespace ravolin
