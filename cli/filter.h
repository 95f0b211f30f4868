// The filter (ravolin-cli -): standard input converted to standard output,
// checked as a run checks a file before it replaces it, in flat memory.
//
// Converted text goes out only once the check has accepted it. Where the
// check fails, or the input turns out to be binary (a NUL byte, anything
// after a Ctrl-Z) or in neither encoding, what is already out stays and the
// rest of the input follows as it came, byte for byte: the output is always
// a file a run would accept in place of the input.
//
// The converter runs on a thread of its own, a few blocks ahead of the
// check; what it finds further on (binary input, say) counts only once the
// check has come to it, so the output does not depend on how far ahead it
// got.
#pragma once
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/encoding.h"
#include "engine/engine.h"
#include "engine/text_stream.h"
#include "streams/large_memory.h"
#include "verify/verify.h"

namespace ravolin {

class ReadAheadSource;

struct FilterResult {
    // kNoThread: the converter's thread could not be started (the system's
    // limit on threads or memory); the input goes out as it came.
    enum Kind { kConverted, kBinary, kUnclear, kCheckFailed, kReadError, kWriteError, kNoThread };
    Kind kind = kConverted;
    int tabs = 0, dots = 0, expanded = 0;
    // Where the check found a difference (1-based), and the first line
    // passed through unchanged (1: all of the input).
    unsigned long long line = 0, from_line = 1;
    VerifyResult check = VerifyResult::kSame;
};

// The message for a result other than kConverted, one line without its end.
std::string filter_message(const FilterResult& r);

class CheckedFilter {
public:
    // input: standard input (or a read-ahead over it); the encoding as
    // --encoding names it, none for auto. A style other than kTabs has a
    // converter of its own that takes its input whole: the input and its
    // conversion are then held in memory, and checked whole.
    FilterResult run(ByteSource& input, ByteSink& output, int tab_size, std::optional<Encoding> encoding,
                     Style style = Style::kTabs);
    // The same over a read-ahead, which then reads the input straight into
    // the blocks it is kept in.
    FilterResult run(ReadAheadSource& input, ByteSink& output, int tab_size, std::optional<Encoding> encoding,
                     Style style = Style::kTabs);

private:
    FilterResult run_with(ByteSource& input, ReadAheadSource* placing, ByteSink& output, int tab_size,
                          std::optional<Encoding> encoding, Style style);
    FilterResult run_whole(ByteSource& input, ByteSink& output, int tab_size, std::optional<Encoding> encoding,
                           Style style);

    // The input is read this many bytes at a time, into a block of its own.
    static constexpr std::size_t kReadSize = 1u << 17;

    // The input's bytes as read, from the oldest one still needed, in
    // blocks that never move: the check reads a block's input where it lies.
    class Record {
    public:
        // placing: src reads from it (or is it), and it reads the input
        // straight into the record's blocks, placed a few ahead.
        void reset(ByteSource& src, ReadAheadSource* placing);
        // The reading is over: the blocks placed are the record's again.
        void finish();
        long read_at(unsigned long long pos, unsigned char* buf, std::size_t n);
        // Where the bytes from pos on lie, as far as they go in one block
        // (read from the source first if none are there yet).
        long lend_at(unsigned long long pos, const unsigned char** data);
        // Of the n bytes lend_at gave at pos, how many from the first are
        // followed by kPieceSlack bytes that nothing writes any more: a
        // reader on another thread may look at those.
        std::size_t settled(unsigned long long pos, std::size_t n) const;
        // Bytes before pos are not needed any more.
        void trim(unsigned long long pos);
        // Where the bytes it holds begin.
        unsigned long long first() const { return base_; }
        bool failed() const { return error_; }

    private:
        bool more();
        unsigned char* new_block();
        void place_one();
        LargePool memory_{kReadSize + kPieceSlack};
        ByteSource* src_ = nullptr;
        ReadAheadSource* placing_ = nullptr;
        // Blocks are reused, never freed one by one.
        std::deque<unsigned char*> placed_;  // the blocks after the last, read into
        std::deque<unsigned char*> blocks_;  // all full but the last
        std::vector<unsigned char*> spares_;  // blocks let go, for the next ones
        std::size_t last_len_ = 0;      // bytes in the last block
        unsigned long long base_ = 0;   // the offset of blocks_[0][0]
        bool done_ = false, error_ = false;
    };
    struct Cursor : ByteSource {
        long read(unsigned char* buf, std::size_t n) override;
        Record* record = nullptr;
        unsigned long long pos = 0;
    };
    // The converter's reader reads the record where it lies, as the check
    // does: the input is copied nowhere on its way.
    struct LendingCursor : Cursor {
        bool lends() const override { return true; }
        long lend(unsigned char** data, std::size_t* plain) override;
        // The last few bytes where the record may still read after them.
        unsigned char few[2 * kPieceSlack];
        // The first NUL in what was lent, at this place in the input.
        static constexpr unsigned long long kNoNul = ~0ull;
        unsigned long long nul = kNoNul;
        // LFs before pos, and before where each loan the record still holds
        // began (none spans two of its blocks).
        unsigned long long lines = 0;
        struct Mark {
            unsigned long long pos, lines;
        };
        std::deque<Mark> marks;
    };
    // Bytes that lie elsewhere: in the record, in a writer's buffer, or in
    // the few a block keeps itself; kPieceSlack readable bytes follow each.
    struct Piece {
        const unsigned char* data;
        std::size_t len;
    };
    static std::size_t size_of(const std::vector<Piece>& pieces);
    // Takes the converted text: the writer's one flush after a block is lent
    // where it lies (the writer then goes with the block); anything the
    // writer flushed on its own before is copied.
    struct Sink : ByteSink {
        bool write(const unsigned char* buf, std::size_t n) override;
        bool lend_next = false;
        Piece lent{nullptr, 0};
        std::vector<unsigned char> copied;
    };

    // Writers live in large memory, several to a huge page: each is written
    // through soon after it is taken, and the first touch of 256 KiB of
    // fresh 4 KiB pages costs the converter about 0.2 ms a writer. One is
    // dropped only where no converter runs, or on its thread.
    struct DropWriter {
        DropWriter() : pool(nullptr) {}
        explicit DropWriter(LargePool* p) : pool(p) {}
        LargePool* pool;
        void operator()(TextWriter* w) const {
            w->~TextWriter();
            pool->give_back(w);
        }
    };
    using WriterPtr = std::unique_ptr<TextWriter, DropWriter>;

    // The converter runs on a thread of its own, a few blocks ahead of the
    // check. A block: the input it converted (with, after the last one, any
    // input the text ended before) and what it became, both where they lie.
    struct Block {
        std::vector<Piece> original, converted;
        // What the pieces point into besides the record: the writer the
        // text was converted into, what the writer flushed on its own, and
        // the input's last bytes where the record may still write after them.
        WriterPtr writer;
        std::vector<unsigned char> copied;
        std::unique_ptr<unsigned char[]> tail;
        unsigned long long original_end = 0, converted_end = 0;
        Encoding encoding = Encoding::kCp932;  // as known once the block was read
    };
    // The check reads both sides piece by piece, each from where it lies;
    // a block lent from stays until the same side lends from a later one.
    struct Side : ByteSource {
        long read(unsigned char* buf, std::size_t n) override;
        bool lends() const override { return true; }
        long lend(unsigned char** data, std::size_t* plain) override;
        CheckedFilter* filter = nullptr;
        bool converted = false;
        unsigned long long next = 0;  // the block it lends from next
        std::size_t piece = 0;        // and the piece in it
        unsigned long long held = 0;  // the block it lent from last
        // Of the piece lent last, the bytes not handed over by read.
        unsigned char* rest = nullptr;
        std::size_t rest_len = 0;
    };

    // The converter's thread.
    void convert_ahead();
    bool produce();
    unsigned long long take_original(Block& b);
    WriterPtr take_writer();
    bool hand_over(Block&& block);
    // The check's thread.
    Block* block(unsigned long long n);
    bool release();
    bool pass_rest();
    unsigned long long lines_before(unsigned long long pos);

    // Of the converter's thread while it runs.
    ByteSink* output_ = nullptr;
    EngineState engine_;
    std::optional<EncodingSniffer> sniffer_;
    std::optional<TextReader> reader_;
    LargePool writer_memory_{sizeof(TextWriter)};  // outlives every writer below
    WriterPtr writer_;  // the block being converted goes here
    std::vector<WriterPtr> writers_;  // free for the next blocks
    Record record_;
    LendingCursor to_reader_;
    Sink sink_;
    unsigned long long kept_from_ = 0;  // the check's blocks need the input from here on
    long long tabs_ = 0;
    bool ended_ = false;
    std::optional<FilterResult::Kind> stop_;  // why the conversion stopped early
    unsigned long long handed_ = 0;  // input handed over in blocks

    // Between the threads, under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Block> queue_;  // converted, not yet taken by the check
    bool finished_ = false;    // the converter has handed over its last block
    bool cancel_ = false;      // the check is over: the converter stops
    bool converter_waits_ = false, check_waits_ = false;
    // What the check let go: the input before released_, and the writers.
    unsigned long long released_ = 0;
    std::vector<WriterPtr> returned_;

    // Of the check's thread.
    ReadAheadSource* placing_ = nullptr;  // the input's read-ahead: helped when there is time
    std::deque<Block> taken_;  // blocks taken from queue_, from block number first_ on
    unsigned long long first_ = 0, out_ = 0;  // out_: blocks written out
    Side original_side_, converted_side_;
    Encoding check_encoding_ = Encoding::kCp932;
    unsigned long long first_converted_ = 0;  // converted bytes before block first_
    unsigned long long out_original_ = 0;  // what is out stands for this much input
    // Where the conversion stopped, the check may read on in the input,
    // lent from the record but for its last few bytes while more may come.
    unsigned char beyond_[2 * kPieceSlack];
    unsigned long long beyond_pos_ = 0;
    VerifyProgress progress_;
    bool write_failed_ = false;
    bool stop_seen_ = false;  // the check came to where the conversion stopped
};

}  // namespace ravolin
