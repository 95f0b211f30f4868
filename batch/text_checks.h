// What the batch run makes sure of before a converted file may replace its
// original: the file is text, in which encoding, and the conversion changed
// nothing but layout. Internal to batch/.
#pragma once
#include <atomic>

#include "batch/file_system.h"
#include "engine/encoding.h"
#include "verify/verify.h"

namespace ravolin {

enum class TextKind { kText, kBinary, kReadError, kCancelled };

// Reads name once. Binary: a NUL byte anywhere, or anything after a Ctrl-Z
// (one Ctrl-Z as the very last byte is the old end-of-text mark). For text,
// *encoding becomes the file's own (see Utf8Classifier).
TextKind scan_text(FileSystem& fs, const char* name, Encoding* encoding, const std::atomic<bool>& cancel);

// The independent check of converted against original (both closed files).
VerifyResult check_conversion(FileSystem& fs, const char* original, const char* converted, Encoding encoding);

}  // namespace ravolin
