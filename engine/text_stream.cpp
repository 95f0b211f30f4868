#include "engine/text_stream.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ravolin {

// The unread bytes go to the front of the buffer, for a block to follow them.
void TextReader::compact() {
    std::memmove(buf_, buf_ + pos_, lim_ - pos_);
    lim_ -= pos_;
    pos_ = 0;
}

void TextReader::fill() {
    compact();

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
    lim_ = static_cast<std::size_t>(translate(buf_ + lim_, buf_ + raw_end, 0) - buf_);
}

void TextReader::lend() {
    compact();
    unsigned char* data;
    std::size_t plain;
    const long got = src_->lend(&data, &plain);
    if (got <= 0) {
        error_ = got < 0;
        done_ = true;
        return;
    }
    lent_ = data;
    lent_len_ = static_cast<std::size_t>(translate(data, data + got, plain) - data);
    lent_at_ = lim_;
    bridging_ = lent_len_ > 0;
}

std::size_t prefix_without(const unsigned char* p, std::size_t n, unsigned char a, unsigned char b) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(static_cast<char>(a)), vb = _mm_set1_epi8(static_cast<char>(b));
    const auto hits = [&](std::size_t at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
        return _mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb));
    };
    // 64 bytes a step while none is there, then 16 to find it.
    for (; i + 64 <= n; i += 64) {
        const __m128i any = _mm_or_si128(_mm_or_si128(hits(i), hits(i + 16)), _mm_or_si128(hits(i + 32), hits(i + 48)));
        if (_mm_movemask_epi8(any) != 0) break;
    }
    for (; i + 16 <= n; i += 16) {
        const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(hits(i)));
        if (m != 0) return i + static_cast<std::size_t>(__builtin_ctz(m));
    }
#endif
    while (i < n && p[i] != a && p[i] != b) ++i;
    return i;
}

// The text-stream rules over raw bytes that follow the text already read,
// in place; returns the new end. The first plain bytes are known to need
// nothing.
unsigned char* TextReader::translate(unsigned char* from, unsigned char* end, std::size_t plain) {
    from += plain;
    // Ctrl-Z ends the input: nothing from it on is ever seen.
    if (void* z = std::memchr(from, 0x1A, static_cast<std::size_t>(end - from))) {
        end = static_cast<unsigned char*>(z);
        done_ = true;
    }
    if (ends_ == LineEnds::kKept) return end;

    // CR LF -> LF in place; the text only shrinks, so the write side never
    // overtakes the read side.
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
    return w;
}

int TextReader::peek(const unsigned char** window) {
    // Pieces are always contiguous: make sure a whole piece's bytes are in
    // one place before fewer remain (reads from a pipe may come back short).
    for (;;) {
        const std::size_t left = lim_ - pos_;
        if (text_ != buf_) {
            // In a lent block, read in place while a whole piece is there;
            // its last bytes move to our buffer, where the next block's
            // first bytes will follow them.
            if (left >= static_cast<std::size_t>(piece_) || done_) break;
            std::memcpy(buf_, text_ + pos_, left);
            text_ = buf_;
            pos_ = 0;
            lim_ = left;
        } else if (bridging_) {
            if (pos_ >= lent_at_) {
                // Every byte before the lent block is read: on in place.
                const std::size_t skip = pos_ - lent_at_;
                text_ = lent_ + skip;
                pos_ = 0;
                lim_ = lent_len_ - skip;
                bridging_ = false;
            } else if (left >= static_cast<std::size_t>(piece_)) {
                break;
            } else {
                // So much of the block behind our bytes that every piece
                // starting in them is whole: the converter then stops at
                // the block or inside it.
                const std::size_t copied = lim_ - lent_at_;
                std::size_t k = lent_at_ + piece_ - 1 - lim_;
                if (k > lent_len_ - copied) k = lent_len_ - copied;
                std::memcpy(buf_ + lim_, lent_ + copied, k);
                lim_ += k;
                if (copied + k == lent_len_) bridging_ = false;  // all of it is here
            }
        } else {
            if (left >= static_cast<std::size_t>(piece_) || done_) break;
            if (lends_ && !held_cr_) lend();
            else fill();
        }
    }
    if (text_ == buf_) std::memset(buf_ + lim_, 0, kPieceSlack);  // the scanner may look at it
    *window = text_ + pos_;
    const std::size_t left = lim_ - pos_;
    return static_cast<int>(left < static_cast<std::size_t>(kMaxWindow) ? left : kMaxWindow);
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
