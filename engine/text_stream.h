// Buffered byte streams with the text-stream rules of a classic C runtime,
// done by hand so the result is the same on every platform:
//   reading: CR LF becomes LF, a lone CR stays, input ends at the first Ctrl-Z;
//   writing: LF becomes CR LF.
// The reader can also leave CR LF as it is stored, for the converter to read
// it as the one line end it stands for: the converter stops at every CR
// anyway, while taking the CR out here costs a pass over the text and a
// move of every line.
// Bytes come from and go to a ByteSource / ByteSink, one virtual call per
// block, never per byte.
#pragma once
#include <cstddef>
#include <string>

namespace ravolin {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to n bytes. Returns the count read, 0 at end of input,
    // a negative value on a read error.
    virtual long read(unsigned char* buf, std::size_t n) = 0;

    // A source that already holds its bytes in memory may lend them instead
    // of copying them: lend points *data at the next bytes and returns their
    // count (0 at the end, negative on a read error), and they are taken.
    // They stay the caller's, to read and to rewrite in place, until the
    // next call of lend (read leaves them alone), and kPieceSlack more
    // bytes after them may be read (their values mean nothing).
    // *plain says how many of them, from the first, are known to be neither
    // a CR nor a Ctrl-Z (0 when the source does not know); a source that
    // knows its reader keeps line ends may count CRs in. A source that
    // reads on a thread of its own looks while the bytes are in its cache.
    virtual bool lends() const { return false; }
    virtual long lend(unsigned char** data, std::size_t* plain) {
        *data = nullptr;
        *plain = 0;
        return -1;
    }
};

// How many of the n bytes from p on are neither a nor b.
std::size_t prefix_without(const unsigned char* p, std::size_t n, unsigned char a, unsigned char b);

// How many bytes from p on are neither a CR nor a Ctrl-Z: the reader's text
// rules leave those as they are.
inline std::size_t plain_text_prefix(const unsigned char* p, std::size_t n) { return prefix_without(p, n, '\r', 0x1A); }

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes all n bytes; false when they could not all be written.
    virtual bool write(const unsigned char* buf, std::size_t n) = 0;
};

// A piece is at most this many bytes: a whole line with its LF, the last
// line without one, or a 1999-byte part of a longer line.
constexpr int kMaxPiece = 1999;

// The most bytes a piece takes where CR LF is kept: its LF may be a CR LF.
constexpr int kMaxStoredPiece = kMaxPiece + 1;

// How the reader hands over a CR LF: kept as it is stored (the converter
// reads it as LF), or translated to LF as a classic C runtime would.
enum class LineEnds : unsigned char { kKept, kTranslated };

// Bytes past the end of the buffered text that may be read (never used as
// text): the engine's scanner looks at 64 bytes at a time plus one of
// look-ahead.
constexpr int kPieceSlack = 80;

class TextReader {
public:
    explicit TextReader(ByteSource& src, LineEnds ends = LineEnds::kKept)
        : src_(&src), lends_(src.lends()), ends_(ends),
          piece_(ends == LineEnds::kKept ? kMaxStoredPiece : kMaxPiece) {}
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    // The converter finds the pieces' ends while it scans, so it can look at
    // the input without a separate search: peek shows every buffered byte, at
    // least a whole piece's worth (piece_bytes()) unless the input ends first
    // (0 at the end; kPieceSlack readable bytes follow them), and consume
    // takes the first n. A CR at the end of what peek shows is followed by
    // its LF only in what comes next.

    int peek(const unsigned char** window);
    void consume(int n) {
        pos_ += static_cast<std::size_t>(n);
        consumed_ += static_cast<unsigned long long>(n);
    }
    // Bytes consumed since the start.
    unsigned long long consumed() const { return consumed_; }
    // True when what peek shows is all the input there is.
    bool exhausted() const { return done_ && !bridging_ && lim_ - pos_ <= kMaxWindow; }
    // The most peek ever shows.
    static constexpr int kMaxWindow = 1 << 16;
    LineEnds line_ends() const { return ends_; }
    // The most bytes one piece takes in what peek shows.
    int piece_bytes() const { return piece_; }

    bool failed() const { return error_; }

private:
    void compact();
    void fill();
    void lend();
    unsigned char* translate(unsigned char* from, unsigned char* end, std::size_t plain);

    // Large enough that a refill is rare; the tail past kBufSize gives room
    // for a CR held back from the previous block.
    static constexpr std::size_t kBufSize = kMaxWindow;
    ByteSource* src_;
    const bool lends_;
    const LineEnds ends_;
    const int piece_;  // piece_bytes()
    // The text is read where it lies: in buf_, or in a block the source lent
    // (the bytes are then not copied at all, except a piece's worth where
    // one block meets the next).
    unsigned char* text_ = buf_;
    std::size_t pos_ = 0, lim_ = 0;  // the unread text is text_[pos_, lim_)
    unsigned long long consumed_ = 0;
    // buf_ holds the start of a lent block from lent_at_ on, the rest of it
    // still to be read in place.
    bool bridging_ = false;
    unsigned char* lent_ = nullptr;
    std::size_t lent_len_ = 0, lent_at_ = 0;
    bool done_ = false;      // the source is exhausted, failed or hit Ctrl-Z
    bool error_ = false;
    bool held_cr_ = false;   // a CR ended the last block: its LF may follow
    // Not cleared up front (a static reader would clear 64 KiB at every
    // start): fill() writes the slack after the text itself.
    unsigned char buf_[kBufSize + kPieceSlack];
};

class TextWriter {
public:
    explicit TextWriter(ByteSink& sink) : sink_(&sink) {}
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    void write(const unsigned char* p, std::size_t n);
    // Room for n bytes that are already in their stored form (CR LF written
    // out); commit says how many were used. n is at most kMaxReserve.
    unsigned char* reserve(std::size_t n) {
        if (kBufSize - len_ < n) flush();
        return buf_ + len_;
    }
    void commit(std::size_t n) { len_ += n; }
    // Enough for the converted form of a whole reader window: every input
    // byte gives at most two output bytes.
    static constexpr std::size_t kMaxReserve = 2 * TextReader::kMaxWindow + 256;
    // Hands every buffered byte to the sink; false if any write has failed.
    bool flush();
    bool failed() const { return error_; }
    // Room for another reserve of n bytes without a flush first.
    bool has_room(std::size_t n) const { return kBufSize - len_ >= n; }

private:
    void put(const unsigned char* p, std::size_t n);

    // A quarter MiB in all, so that the filter's writers go eight to a
    // 2 MiB huge page.
    static constexpr std::size_t kBufSize = (std::size_t{1} << 18) - 64;
    static_assert(kBufSize >= kMaxReserve, "room for the largest reserve");
    ByteSink* sink_;
    std::size_t len_ = 0;
    bool error_ = false;
    unsigned char buf_[kBufSize];
};

// In-memory source and sink: the filter tests, the fuzzer and the benchmark
// use them, so they live with the streams.
class MemorySource : public ByteSource {
public:
    MemorySource(const void* data, std::size_t n, std::size_t chunk = 0)
        : p_(static_cast<const unsigned char*>(data)), n_(n), chunk_(chunk) {}
    long read(unsigned char* buf, std::size_t n) override;

private:
    const unsigned char* p_;
    std::size_t n_;
    std::size_t chunk_;  // when non-zero, at most this much per read (like a pipe)
};

class StringSink : public ByteSink {
public:
    bool write(const unsigned char* buf, std::size_t n) override {
        out.append(reinterpret_cast<const char*>(buf), n);
        return true;
    }
    std::string out;
};

}  // namespace ravolin
