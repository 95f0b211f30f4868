#include "engine/text_stream.h"

#include <cstring>

namespace ravolin {

void TextReader::fill() {
    // Keep the unread translated bytes, then append a new block after them.
    std::memmove(buf_, buf_ + pos_, lim_ - pos_);
    lim_ -= pos_;
    pos_ = 0;

    std::size_t raw_end = lim_;
    if (held_cr_) {
        buf_[raw_end++] = '\r';
        held_cr_ = false;
    }
    long got = src_->read(buf_ + raw_end, kBufSize - raw_end);
    if (got < 0) {
        error_ = true;
        done_ = true;
    } else if (got == 0) {
        done_ = true;
    } else {
        raw_end += static_cast<std::size_t>(got);
    }

    // Ctrl-Z ends the input: nothing from it on is ever seen.
    unsigned char* from = buf_ + lim_;
    if (void* z = std::memchr(from, 0x1A, raw_end - lim_)) {
        raw_end = static_cast<std::size_t>(static_cast<unsigned char*>(z) - buf_);
        done_ = true;
    }

    // CR LF -> LF in place; the text only shrinks, so the write side never
    // overtakes the read side.
    unsigned char* end = buf_ + raw_end;
    unsigned char* w = from;
    unsigned char* r = from;
    while (r < end) {
        unsigned char* cr = static_cast<unsigned char*>(std::memchr(r, '\r', static_cast<std::size_t>(end - r)));
        std::size_t run = static_cast<std::size_t>((cr ? cr : end) - r);
        if (w != r) std::memmove(w, r, run);
        w += run;
        r += run;
        if (!cr) break;
        if (cr + 1 < end) {
            if (cr[1] == '\n') {
                *w++ = '\n';
                r = cr + 2;
            } else {
                *w++ = '\r';
                r = cr + 1;
            }
        } else if (done_) {
            *w++ = '\r';  // a CR at the very end stays a CR
            r = end;
        } else {
            held_cr_ = true;  // decide when the next block shows what follows
            r = end;
        }
    }
    lim_ = static_cast<std::size_t>(w - buf_);
    std::memset(buf_ + lim_, 0, kPieceSlack);  // the scanner may look at it
}

int TextReader::peek(const unsigned char** window) {
    // Pieces are always contiguous in the buffer: refill before fewer than a
    // whole piece's bytes remain (reads from a pipe may come back short).
    while (!done_ && lim_ - pos_ < static_cast<std::size_t>(kMaxPiece)) fill();
    *window = buf_ + pos_;
    return static_cast<int>(lim_ - pos_);
}

void TextWriter::put(const unsigned char* p, std::size_t n) {
    while (n > 0) {
        if (len_ == kBufSize) flush();
        std::size_t room = kBufSize - len_;
        std::size_t k = n < room ? n : room;
        std::memcpy(buf_ + len_, p, k);
        len_ += k;
        p += k;
        n -= k;
    }
}

void TextWriter::write(const unsigned char* p, std::size_t n) {
    static const unsigned char crlf[2] = {'\r', '\n'};
    while (n > 0) {
        const void* nl = std::memchr(p, '\n', n);
        std::size_t run = nl ? static_cast<std::size_t>(static_cast<const unsigned char*>(nl) - p) : n;
        put(p, run);
        if (!nl) return;
        put(crlf, 2);
        p += run + 1;
        n -= run + 1;
    }
}

bool TextWriter::flush() {
    if (len_ > 0 && !error_) {
        if (!sink_->write(buf_, len_)) error_ = true;
    }
    len_ = 0;  // after a failure the bytes are dropped: the caller restores the file
    return !error_;
}

long MemorySource::read(unsigned char* buf, std::size_t n) {
    if (chunk_ && n > chunk_) n = chunk_;
    if (n > n_) n = n_;
    if (n == 0) return 0;
    std::memcpy(buf, p_, n);
    p_ += n;
    n_ -= n;
    return static_cast<long>(n);
}

}  // namespace ravolin
