// The check made before a converted file replaces its original: a C lexer of
// its own, independent of the converter, reads both side by side and accepts
// nothing but a change of layout.
//
// The original is read with the text-stream rules (CR LF is a line end like
// LF; one Ctrl-Z as the very last byte is not text); the converted file as
// written. Accepted:
//  - string literals and character constants (prefix, quotes, escapes and
//    splices included) identical byte for byte;
//  - outside them the same units (bytes, code page 932 double-byte
//    characters) in the same order, where spaces and tabs may change inside
//    a run but a run never appears or disappears (`int x` never `intx`);
//  - the same line ends: LF or CR LF opposite CR LF, and a lone CR opposite
//    a lone CR. The converter writes a lone CR as it found it and starts a
//    new line after it (its columns from 0, a line comment ended), which is
//    how compilers read a lone CR too; so the blanks after one may change as
//    at the start of any line;
//  - in code page 932 one '.' added in a line comment right after a
//    double-byte character whose second byte is 0x5C and right before the
//    line end: to a compiler reading bytes that 0x5C would be a backslash
//    joining the next line to the comment.
// Anything else fails the check, among it text the converter dropped after a
// Ctrl-Z inside the original.
//
// In code page 932 a lead byte (0x81-0x9F, 0xE0-0xFC) and a trail byte
// (0x40-0x7E, 0x80-0xFC) are one character, never syntax; a lead byte before
// any other byte stands alone, so a quote or line end after it keeps its
// meaning (text in another single-byte code page is read right). In UTF-8
// only ASCII bytes are syntax.
#pragma once
#include "engine/encoding.h"
#include "engine/text_stream.h"

namespace ravolin {

enum class VerifyResult { kSame, kLiteralChanged, kTextChanged, kReadError };

// Reads both streams to their end, or up to the first difference. No
// allocation: two 16 KiB buffers on the stack. ends: kTranslated, the
// converted file's line ends are CR LF as a run writes them; kKept, they are
// the original's own, line for line (a file converted in some lines only),
// and it is read by the original's rules.
VerifyResult verify_conversion(ByteSource& original, ByteSource& converted, Encoding enc,
                               LineEnds ends = LineEnds::kTranslated);

// How far a check has come, for a caller that hands out the converted text
// while it is checked: the first `original` bytes of the original and the
// first `converted` bytes of the converted text are known to differ by
// layout alone (both end where the two agree). At a difference, `differs`
// is the byte of the original just after the unit that differs.
struct VerifyProgress {
    unsigned long long original = 0, converted = 0, differs = 0;
};

// The same with the encoding read where the streams are refilled (see
// UnitReader), and progress kept in *progress as the check goes on.
VerifyResult verify_conversion(ByteSource& original, ByteSource& converted, const Encoding* enc,
                               VerifyProgress* progress, LineEnds ends = LineEnds::kTranslated);

// The words for a report line, e.g. "string literal would change".
const char* verify_reason(VerifyResult r);

}  // namespace ravolin
