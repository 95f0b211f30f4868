// Reads a file's bytes as the units the conversion check compares: one
// byte, one double-byte character, or one line end. Streams of any size go
// through one fixed buffer, or are read where they lie when the source lends
// its blocks (the buffer then only joins one block's last byte to the next).
#pragma once
#include <cstddef>

#include "engine/encoding.h"
#include "engine/text_stream.h"

namespace ravolin {

enum class UnitKind : unsigned char {
    kByte,     // one byte: ASCII, a single-byte character, a byte of a UTF-8 sequence
    kPair,     // a code page 932 double-byte character
    kNewline,  // LF or CR LF in the original; CR LF in the converted file (b0: the first byte)
    kLoneCr,   // a CR that no LF follows
    kBareLf,   // an LF without its CR in the converted file: the converter never writes one
    kBlanks,   // spaces and tabs outside literals, taken as one (made by the check, never read)
    kEnd,
    kError,    // the source failed
};

struct Unit {
    UnitKind kind;
    unsigned char b0, b1;  // the bytes of a kByte or kPair
};

inline bool is_line_end(UnitKind k) {
    return k == UnitKind::kNewline || k == UnitKind::kLoneCr || k == UnitKind::kBareLf;
}

// The length of a kNewline at p, 0 for anything else or when the n bytes in
// view do not tell: in the original LF or CR LF, in the converted file CR LF.
inline std::size_t original_newline(const unsigned char* p, std::size_t n) {
    if (p[0] == '\n') return 1;
    return n >= 2 && p[0] == '\r' && p[1] == '\n' ? 2 : 0;
}
inline std::size_t converted_newline(const unsigned char* p, std::size_t n) {
    return n >= 2 && p[0] == '\r' && p[1] == '\n' ? 2 : 0;
}

class UnitReader {
public:
    // The original is read with the text-stream rules (CR LF and LF are one
    // line end; one Ctrl-Z as the very last byte is not text); the converted
    // file as written (its line ends must be CR LF). A file converted in
    // some lines only keeps the original's line ends, so it is read by the
    // original's rules (kOwnEnds); the check then wants each line end to be
    // the original's own.
    enum class Role { kOriginal, kConverted, kOwnEnds };

    // *enc is read again at every refill: a source that decides the
    // encoding at its first byte >= 0x80 decides it before handing that over.
    UnitReader(ByteSource& src, const Encoding* enc, Role role)
        : src_(&src), enc_(enc), pairs_(*enc == Encoding::kCp932), original_(role != Role::kConverted),
          lends_(src.lends()) {}
    UnitReader(const UnitReader&) = delete;
    UnitReader& operator=(const UnitReader&) = delete;

    // The next unit, left in place until take().
    Unit peek();
    void take() { pos_ += len_; }
    // Bytes taken since the start.
    unsigned long long taken() const { return base_ + pos_; }

    // For passing over many bytes at once: the bytes not read yet (at least
    // one unless the stream is over), and a table of the bytes that are a
    // unit of their own whatever stands next to them.
    std::size_t view(const unsigned char** p) {
        if (pos_ == lim_ && !done_) fill();
        *p = text_ + pos_;
        return error_ ? 0 : lim_ - pos_;
    }
    void skip(std::size_t n) { pos_ += n; }
    const unsigned char* single_bytes() const;
    bool pairs() const { return pairs_; }  // then every byte that is no unit of its own is >= 0x80
    // The length of a kNewline at p (in view), as original_newline or
    // converted_newline.
    std::size_t newline_at(const unsigned char* p, std::size_t n) const {
        return original_ ? original_newline(p, n) : converted_newline(p, n);
    }

private:
    void fill();
    void lend();

    // Small enough for the stack of any thread, large enough that a read
    // per block costs nothing next to looking at its bytes.
    static constexpr std::size_t kBufSize = 1u << 14;
    ByteSource* src_;
    const Encoding* enc_;
    unsigned long long base_ = 0;  // bytes before text_[0]
    bool pairs_;     // code page 932: lead and trail bytes form one character
    bool original_;
    const bool lends_;
    // The bytes are read in text_[pos_, lim_): buf_, or a block the source
    // lent. While bridging, buf_ holds a block's last byte and the first
    // bytes of the next one, lent_, from buf_[lent_at_] on.
    const unsigned char* text_ = buf_;
    const unsigned char* lent_ = nullptr;
    std::size_t lent_len_ = 0, lent_at_ = 0;
    bool bridging_ = false;
    bool done_ = false;   // the source is exhausted or failed
    bool error_ = false;
    std::size_t pos_ = 0, lim_ = 0, len_ = 0;  // len_: bytes of the unit peek returned
    unsigned char buf_[kBufSize];
};

}  // namespace ravolin
