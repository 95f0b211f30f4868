// The two text encodings the converter knows, and how a file's encoding is
// told. Code page 932 (Shift-JIS) is the classic one; UTF-8 is what most
// sources are written in today.
#pragma once
#include <cstddef>

#include "engine/text_stream.h"

namespace ravolin {

enum class Encoding { kCp932, kUtf8 };

// Tells a file's encoding from its bytes, fed in blocks of any size as they
// are read. A file is UTF-8 when all of it is valid UTF-8 and it holds at
// least one multi-byte sequence (a UTF-8 byte order mark is one); everything
// else, pure ASCII included, is code page 932 (ASCII converts the same
// either way). No I/O here.
class Utf8Classifier {
public:
    void feed(const unsigned char* p, std::size_t n);
    // The encoding to convert with, once every byte has been fed.
    Encoding result() const;
    // True once the bytes are known not to be UTF-8: feeding more cannot
    // change the result, so a caller may stop reading early.
    bool settled() const { return invalid_; }
    // True while every byte fed so far is valid UTF-8, allowing a sequence
    // cut at the end of what was fed.
    bool valid_so_far() const { return !invalid_; }
    bool saw_multibyte() const { return multibyte_; }

private:
    int need_ = 0;                      // continuation bytes still to come
    unsigned char lo_ = 0x80, hi_ = 0xBF;  // range of the next one
    bool invalid_ = false;
    bool multibyte_ = false;
};

// Tells whether bytes fed in blocks of any size read as code page 932 the
// way the converter reads them: every byte it takes for a lead byte
// (0x80-0x9F, 0xE0-0xFF) followed by a byte that can be a second byte
// (0x40-0x7E, 0x80-0xFC). Elsewhere the converter would take a quote, a
// line end or a backslash as half of a character that no compiler sees
// (text in UTF-8 with a stray byte, or in another single-byte code page).
class Cp932Classifier {
public:
    void feed(const unsigned char* p, std::size_t n);
    // True while every lead byte fed has had its second byte; a lead byte
    // at the end of what was fed is allowed while more may come.
    bool valid_so_far() const { return !invalid_; }
    // Once every byte is fed: a lead byte as the very last byte is none.
    bool valid() const { return !invalid_ && !lead_; }

private:
    bool lead_ = false;  // the last byte fed was a lead byte
    bool invalid_ = false;
};

// A file whose bytes are neither UTF-8 nor code page 932: what its
// characters are cannot be told, so "auto" converts nothing.
inline bool encoding_unclear(const Utf8Classifier& utf8, const Cp932Classifier& cp932) {
    const bool utf8_valid = utf8.valid_so_far() && utf8.result() == Encoding::kUtf8;
    return !utf8_valid && !cp932.valid();
}

// A source that decides the encoding of a stream that cannot be read twice
// (standard input) while it passes through, for "auto". As long as only
// ASCII went by the choice does not matter; at the first byte >= 0x80 it
// reads ahead up to kLookahead bytes and sets *target to UTF-8 when they are
// valid UTF-8, else to code page 932. The converter takes up the encoding
// again before every block, and every byte >= 0x80 reaches it only after
// the decision, so memory stays flat whatever the stream's length.
class EncodingSniffer : public ByteSource {
public:
    static constexpr std::size_t kLookahead = 1u << 16;

    EncodingSniffer(ByteSource& inner, Encoding* target) : inner_(&inner), target_(target) {}
    long read(unsigned char* buf, std::size_t n) override;
    // Lends what its source lends, looked at on the way like what it reads.
    bool lends() const override { return inner_->lends(); }
    long lend(unsigned char** data, std::size_t* plain) override;
    bool decided() const { return decided_; }
    // After the decision: the bytes looked at were neither UTF-8 nor code
    // page 932.
    bool unclear() const { return unclear_; }

private:
    void decide(const unsigned char* from, std::size_t n);

    ByteSource* inner_;
    Encoding* target_;
    bool decided_ = false;
    bool failed_ = false;      // the inner source failed while reading ahead
    bool unclear_ = false;
    std::size_t ahead_pos_ = 0, ahead_len_ = 0;
    unsigned char ahead_[kLookahead + kPieceSlack];  // lent like the source's bytes
};

}  // namespace ravolin
