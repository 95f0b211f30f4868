#include "cli/filter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <thread>

#include "batch/text_checks.h"
#include "streams/read_ahead.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__SSE2__)
#include <immintrin.h>
#define RAVOLIN_WIDE_COUNT 1
#endif

namespace ravolin {
namespace {

unsigned long long count_lf_narrow(const unsigned char* p, std::size_t n) {
    unsigned long long count = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: each compare gives -1 per LF, summed per
    // byte lane for up to 255 steps, then across the lanes by psadbw.
    const __m128i lf = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
    while (i + 16 <= n) {
        __m128i lanes = zero;
        const std::size_t steps = std::min<std::size_t>((n - i) / 16, 255);
        for (std::size_t s = 0; s < steps; ++s, i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(v, lf));
        }
        const __m128i sums = _mm_sad_epu8(lanes, zero);
        count += static_cast<unsigned long long>(_mm_cvtsi128_si32(sums)) +
                 static_cast<unsigned long long>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
    }
#else
    // Eight bytes at a time: a byte of w ^ 0x0A.. is zero exactly where an LF is.
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        const std::uint64_t x = w ^ 0x0A0A0A0A0A0A0A0Aull;
        const std::uint64_t nonzero = ((x & kLow7) + kLow7) | x;
        // One bit per LF byte, at its top; moved to the bottom and summed by
        // one multiply (no popcount instruction to rely on).
        const std::uint64_t ones = (~nonzero & ~kLow7) >> 7;
        count += static_cast<unsigned long long>((ones * 0x0101010101010101ull) >> 56);
    }
#endif
    for (; i < n; ++i) count += p[i] == '\n';
    return count;
}

#ifdef RAVOLIN_WIDE_COUNT
// The same 64 bytes at a time, where the converter uses AVX-512.
__attribute__((target("avx512bw,popcnt"))) unsigned long long count_lf_avx512(const unsigned char* p, std::size_t n) {
    unsigned long long count = 0;
    std::size_t i = 0;
    const __m512i lf = _mm512_set1_epi8('\n');
    for (; i + 64 <= n; i += 64) {
        count += static_cast<unsigned long long>(
            __builtin_popcountll(_mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p + i), lf)));
    }
    return count + count_lf_narrow(p + i, n - i);
}
#endif

unsigned long long count_lf(const unsigned char* p, std::size_t n) {
#ifdef RAVOLIN_WIDE_COUNT
    if (scan_path_in_use() == ScanPath::kAvx512) return count_lf_avx512(p, n);
#endif
    return count_lf_narrow(p, n);
}

// What the converter's reader borrows, looked at in one pass while it is
// in the cache: where the first NUL or Ctrl-Z lies (n when neither does),
// which tells the reader where the text ends and the filter whether it is
// binary, and the LFs in all of it, for the line numbers of messages.
struct LentScan {
    std::size_t clear;
    unsigned long long lines;
};


LentScan scan_lent_narrow(const unsigned char* p, std::size_t n) {
    return {prefix_without(p, n, 0, 0x1A), count_lf_narrow(p, n)};
}

#ifdef RAVOLIN_WIDE_COUNT
__attribute__((target("avx512bw,bmi,popcnt"))) LentScan scan_lent_avx512(const unsigned char* p, std::size_t n) {
    LentScan s{n, 0};
    std::size_t i = 0;
    const __m512i lf = _mm512_set1_epi8('\n'), ctrl_z = _mm512_set1_epi8(0x1A);
    for (; i + 64 <= n; i += 64) {
        const __m512i v = _mm512_loadu_si512(p + i);
        s.lines += static_cast<unsigned long long>(__builtin_popcountll(_mm512_cmpeq_epi8_mask(v, lf)));
        const std::uint64_t m = _mm512_testn_epi8_mask(v, v) | _mm512_cmpeq_epi8_mask(v, ctrl_z);
        if (m != 0 && s.clear == n) s.clear = i + static_cast<std::size_t>(_tzcnt_u64(m));
    }
    const LentScan rest = scan_lent_narrow(p + i, n - i);
    if (s.clear == n) s.clear = i + rest.clear;
    s.lines += rest.lines;
    return s;
}
#endif

LentScan scan_lent(const unsigned char* p, std::size_t n) {
#ifdef RAVOLIN_WIDE_COUNT
    if (scan_path_in_use() == ScanPath::kAvx512) return scan_lent_avx512(p, n);
#endif
    return scan_lent_narrow(p, n);
}

}  // namespace

std::size_t CheckedFilter::size_of(const std::vector<Piece>& pieces) {
    std::size_t n = 0;
    for (const Piece& p : pieces) n += p.len;
    return n;
}

// Half a megabyte of input ahead: the read-ahead reads on while the
// converter takes the blocks before.
constexpr std::size_t kPlacedAhead = 4;

void CheckedFilter::Record::reset(ByteSource& src, ReadAheadSource* placing) {
    src_ = &src;
    for (unsigned char* block : blocks_) spares_.push_back(block);
    blocks_.clear();
    last_len_ = 0;
    base_ = 0;
    done_ = error_ = false;
    placing_ = placing;
    while (placing_ && placed_.size() < kPlacedAhead) place_one();
}

void CheckedFilter::Record::finish() {
    if (!placing_) return;
    placing_->stop();
    placing_ = nullptr;
    for (unsigned char* block : placed_) spares_.push_back(block);
    placed_.clear();
}

unsigned char* CheckedFilter::Record::new_block() {
    if (spares_.empty()) {
        // Not cleared: only what is read into it is ever read.
        return static_cast<unsigned char*>(memory_.take());
    }
    unsigned char* block = spares_.back();
    spares_.pop_back();
    return block;
}

void CheckedFilter::Record::place_one() {
    placed_.push_back(new_block());
    placing_->place(placed_.back(), kReadSize);
}

bool CheckedFilter::Record::more() {
    if (done_) return false;
    if (blocks_.empty() || last_len_ == kReadSize) {
        if (placing_) {
            // The next block placed is where the input goes on.
            blocks_.push_back(placed_.front());
            placed_.pop_front();
            place_one();
        } else {
            blocks_.push_back(new_block());
        }
        last_len_ = 0;
    }
    const long got = src_->read(blocks_.back() + last_len_, kReadSize - last_len_);
    if (got > 0) last_len_ += static_cast<std::size_t>(got);
    if (got < 0) error_ = true;
    if (got <= 0) done_ = true;
    return got > 0;
}

long CheckedFilter::Record::lend_at(unsigned long long pos, const unsigned char** data) {
    while (blocks_.empty() || pos >= base_ + (blocks_.size() - 1) * kReadSize + last_len_) {
        if (!more()) return error_ ? -1 : 0;
    }
    const unsigned long long off = pos - base_;
    const std::size_t block = static_cast<std::size_t>(off / kReadSize), in = static_cast<std::size_t>(off % kReadSize);
    *data = blocks_[block] + in;
    return static_cast<long>((block + 1 == blocks_.size() ? last_len_ : kReadSize) - in);
}

long CheckedFilter::Record::read_at(unsigned long long pos, unsigned char* buf, std::size_t n) {
    const unsigned char* data;
    const long k = lend_at(pos, &data);
    if (k <= 0) return k;
    const std::size_t m = std::min(n, static_cast<std::size_t>(k));
    std::memcpy(buf, data, m);
    return static_cast<long>(m);
}

std::size_t CheckedFilter::Record::settled(unsigned long long pos, std::size_t n) const {
    if (done_) return n;  // nothing is read into the record any more
    const unsigned long long off = pos - base_;
    const std::size_t block = static_cast<std::size_t>(off / kReadSize), in = static_cast<std::size_t>(off % kReadSize);
    // Only what follows the bytes read so far is still written; after a
    // block's end lies slack that nothing writes.
    const std::size_t filled = block + 1 == blocks_.size() ? last_len_ : kReadSize;
    if (filled >= std::min(in + n + kPieceSlack, kReadSize)) return n;
    return filled >= in + kPieceSlack ? std::min(n, filled - kPieceSlack - in) : 0;
}

void CheckedFilter::Record::trim(unsigned long long pos) {
    // Whole blocks only (all but the last are full), so nothing ever moves.
    while (blocks_.size() > 1 && pos >= base_ + kReadSize) {
        spares_.push_back(blocks_.front());
        blocks_.pop_front();
        base_ += kReadSize;
    }
}

long CheckedFilter::Cursor::read(unsigned char* buf, std::size_t n) {
    const long k = record->read_at(pos, buf, n);
    if (k > 0) pos += static_cast<unsigned long long>(k);
    return k;
}

long CheckedFilter::LendingCursor::lend(unsigned char** data, std::size_t* plain) {
    *plain = 0;
    const unsigned char* bytes;
    const long k = record->lend_at(pos, &bytes);
    if (k <= 0) return k;
    std::size_t n = record->settled(pos, static_cast<std::size_t>(k));
    if (n > 0) {
        *data = const_cast<unsigned char*>(bytes);  // the reader keeps CR LF: it only reads
    } else {
        n = static_cast<std::size_t>(k);
        std::memcpy(few, bytes, n);
        std::memset(few + n, 0, kPieceSlack);
        *data = few;
    }
    // The reader keeps line ends, so only a Ctrl-Z needs it; a NUL makes
    // the input binary from the window that shows it.
    const LentScan scan = scan_lent(*data, n);
    *plain = scan.clear;
    if (scan.clear < n && (*data)[scan.clear] == 0 && nul == kNoNul) nul = pos + scan.clear;
    marks.push_back(Mark{pos, lines});
    lines += scan.lines;
    pos += n;
    return static_cast<long>(n);
}

bool CheckedFilter::Sink::write(const unsigned char* buf, std::size_t n) {
    if (lend_next && !lent.data) {
        lent = Piece{buf, n};
    } else {
        copied.insert(copied.end(), buf, buf + n);
    }
    return true;
}

// Converts the next block into writer_; false at the end of the text or
// where the conversion must stop (stop_ says why).
bool CheckedFilter::produce() {
    if (ended_ || stop_) return false;
    const unsigned char* window;
    const int len = reader_->peek(&window);
    if (sniffer_ && sniffer_->decided() && sniffer_->unclear()) {
        stop_ = FilterResult::kUnclear;
        return false;
    }
    // Every byte the reader shows was lent to it, at the same place in
    // the input (it keeps line ends).
    if (len > 0 && to_reader_.nul < reader_->consumed() + static_cast<unsigned long long>(len)) {
        stop_ = FilterResult::kBinary;
        return false;
    }
    // The text ends at the input's end or at a Ctrl-Z; one Ctrl-Z as the
    // very last byte is the old end-of-text mark, anything more is binary.
    // Told before the last of the text is converted, so that short binary
    // input goes out as it came.
    if (len > 0 && reader_->exhausted()) {
        unsigned char after[2];
        Cursor tail;
        tail.record = &record_;
        tail.pos = reader_->consumed() + static_cast<unsigned long long>(len);
        std::size_t seen = 0;
        long k;
        while (seen < 2 && (k = tail.read(after + seen, 2 - seen)) > 0) seen += static_cast<std::size_t>(k);
        if (seen == 2) {
            stop_ = FilterResult::kBinary;
            return false;
        }
    }
    long long tabs = 0;
    const bool more = convert_step(engine_, &tabs);
    tabs_ += tabs;
    if (more) return true;
    ended_ = true;
    if (reader_->failed() || record_.failed()) {
        stop_ = FilterResult::kReadError;
        return false;
    }
    return true;  // the last block is there to be checked
}

static_assert(sizeof(TextWriter) <= kLargeSize / 8, "the writers of a run share one huge page");

// A free writer, or a new one. Throws std::bad_alloc when there is no memory.
CheckedFilter::WriterPtr CheckedFilter::take_writer() {
    if (writers_.empty()) {
        void* memory = writer_memory_.take();
        populate(memory, sizeof(TextWriter));
        return WriterPtr(new (memory) TextWriter(sink_), DropWriter(&writer_memory_));
    }
    WriterPtr w = std::move(writers_.back());
    writers_.pop_back();
    return w;
}

// The converter's thread: converts block after block and hands each over
// with the input it came from, waiting while the check is enough blocks
// behind; stops at the end, where the conversion must stop, or when the
// check is over.
void CheckedFilter::convert_ahead() {
    for (;;) {
        if (!writer_) writer_ = take_writer();
        engine_.out = writer_.get();
        const unsigned long long from = reader_->consumed();
        if (!produce()) break;
        // Where the input's blocks meet, a line is converted on its own
        // (a step of a few bytes): more steps go into one block while the
        // writer takes them whole, as every block handed over can cost
        // both threads a wake-up.
        while (!ended_ && !stop_ && reader_->consumed() - from < kReadSize &&
               writer_->has_room(TextWriter::kMaxReserve) && produce()) {
        }
        Block b;
        sink_.lend_next = true;
        writer_->flush();
        sink_.lend_next = false;
        if (!sink_.copied.empty()) {
            b.copied.swap(sink_.copied);
            const std::size_t n = b.copied.size();
            b.copied.resize(n + kPieceSlack);
            b.converted.push_back(Piece{b.copied.data(), n});
        }
        if (sink_.lent.data) {
            b.converted.push_back(sink_.lent);
            sink_.lent = Piece{nullptr, 0};
            b.writer = std::move(writer_);
        }
        const unsigned long long end = take_original(b);
        b.original_end = end;
        b.encoding = engine_.encoding;
        // A block the check never takes stays in the record, to be passed
        // through as it came.
        if (!hand_over(std::move(b))) return;
        handed_ = end;
        record_.trim(std::min({handed_, to_reader_.pos, kept_from_}));
        // Places the record no longer holds are not counted from.
        while (!to_reader_.marks.empty() && to_reader_.marks.front().pos < record_.first()) to_reader_.marks.pop_front();
        if (ended_ || stop_) break;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    if (check_waits_) changed_.notify_all();
}

// The input the block was converted from, lent from the record, and after
// the last block what the text ended before (a last Ctrl-Z); returns where
// it ends.
unsigned long long CheckedFilter::take_original(Block& b) {
    unsigned long long pos = handed_;
    const unsigned long long end = reader_->consumed();
    const unsigned char* data;
    long k = 0;
    while (pos < end && (k = record_.lend_at(pos, &data)) > 0) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<unsigned long long>(static_cast<unsigned long long>(k), end - pos));
        b.original.push_back(Piece{data, n});
        pos += n;
    }
    if (ended_) {
        while ((k = record_.lend_at(pos, &data)) > 0) {
            b.original.push_back(Piece{data, static_cast<std::size_t>(k)});
            pos += static_cast<unsigned long long>(k);
        }
    }
    if (k < 0 && !stop_) stop_ = FilterResult::kReadError;
    // The check may look past the last piece, where the record may still
    // be reading: those last few bytes go with the block.
    if (!b.original.empty()) {
        Piece& last = b.original.back();
        const std::size_t keep = record_.settled(pos - last.len, last.len);
        if (keep < last.len) {
            const std::size_t n = last.len - keep;
            b.tail.reset(new unsigned char[n + kPieceSlack]);
            std::memcpy(b.tail.get(), last.data + keep, n);
            std::memset(b.tail.get() + n, 0, kPieceSlack);
            last.len = keep;
            if (keep == 0) b.original.pop_back();
            b.original.push_back(Piece{b.tail.get(), n});
        }
    }
    return pos;
}

// A few blocks queued keep both threads busy; more would only hold memory.
// A thread that waits is woken only once it has kWakeAt blocks to go on
// with (blocks to check, or room for blocks to convert): every wake-up is a
// context switch, which costs more than a block's hand-over.
constexpr std::size_t kAhead = 4;
constexpr std::size_t kWakeAt = 3;
// The check reads the input ahead as it takes a block only while it keeps
// up with the converter (this many blocks or fewer wait for it): behind,
// it leaves the reading to the converter.
constexpr std::size_t kKeepingUp = 2;

bool CheckedFilter::hand_over(Block&& block) {
    bool wake;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (queue_.size() >= kAhead && !cancel_) {
            converter_waits_ = true;
            changed_.wait(lock);
            converter_waits_ = false;
        }
        if (cancel_) return false;
        queue_.push_back(std::move(block));
        kept_from_ = released_;
        for (WriterPtr& w : returned_) writers_.push_back(std::move(w));
        returned_.clear();
        wake = check_waits_ && queue_.size() >= kWakeAt;
    }
    if (wake) changed_.notify_all();
    return true;
}

// Block n (from 0), taken from the converter as needed; nullptr after the
// last one.
CheckedFilter::Block* CheckedFilter::block(unsigned long long n) {
    while (first_ + taken_.size() <= n) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (queue_.empty() && !finished_ && placing_) {
            // Time to spare: the input is read ahead here rather than by
            // the converter.
            lock.unlock();
            placing_->help();
            lock.lock();
        }
        while (queue_.empty() && !finished_) {
            check_waits_ = true;
            changed_.wait(lock);
            check_waits_ = false;
        }
        if (queue_.empty()) return nullptr;
        taken_.push_back(std::move(queue_.front()));
        queue_.pop_front();
        const bool wake = converter_waits_ && queue_.size() + kWakeAt <= kAhead;
        const bool keeping_up = queue_.size() <= kKeepingUp;
        lock.unlock();
        if (wake) changed_.notify_all();
        if (placing_ && keeping_up) placing_->help();
        Block& b = taken_.back();
        const Block* before = taken_.size() > 1 ? &taken_[taken_.size() - 2] : nullptr;
        b.converted_end = (before ? before->converted_end : first_converted_) + size_of(b.converted);
        check_encoding_ = b.encoding;
    }
    return &taken_[static_cast<std::size_t>(n - first_)];
}

long CheckedFilter::Side::read(unsigned char* buf, std::size_t n) {
    if (rest_len == 0) {
        std::size_t plain;
        const long k = lend(&rest, &plain);
        if (k <= 0) return k;
        rest_len = static_cast<std::size_t>(k);
    }
    const std::size_t m = std::min(n, rest_len);
    std::memcpy(buf, rest, m);
    rest += m;
    rest_len -= m;
    return static_cast<long>(m);
}

long CheckedFilter::Side::lend(unsigned char** data, std::size_t* plain) {
    CheckedFilter& f = *filter;
    *plain = 0;
    for (;;) {
        // Text the check has accepted goes out as soon as it asks for more.
        if (converted && !f.release()) return -1;
        Block* b = f.block(next);
        if (!b) {
            // The converter's thread is over (block() saw it finish), so
            // what it left is ours to read.
            if (!f.stop_) return 0;
            if (converted) {
                f.stop_seen_ = true;
                return -1;
            }
            // The input after where the conversion stopped, for the check
            // to read on as far as it does.
            if (f.beyond_pos_ < f.handed_) f.beyond_pos_ = f.handed_;
            const unsigned char* bytes;
            const long k = f.record_.lend_at(f.beyond_pos_, &bytes);
            if (k <= 0) return k;
            std::size_t n = f.record_.settled(f.beyond_pos_, static_cast<std::size_t>(k));
            if (n > 0) {
                *data = const_cast<unsigned char*>(bytes);  // the check only reads
            } else {
                // A few bytes the record may still read after: copied.
                n = static_cast<std::size_t>(k);
                std::memcpy(f.beyond_, bytes, n);
                std::memset(f.beyond_ + n, 0, kPieceSlack);
                *data = f.beyond_;
            }
            f.beyond_pos_ += n;
            return static_cast<long>(n);
        }
        const std::vector<Piece>& pieces = converted ? b->converted : b->original;
        if (piece < pieces.size()) {
            const Piece& p = pieces[piece++];
            held = next;
            *data = const_cast<unsigned char*>(p.data);  // the check only reads
            return static_cast<long>(p.len);
        }
        ++next;
        piece = 0;
    }
}

// Writes out every block the check has accepted; false when the output
// fails. Blocks both sides are done with are let go, and with them what
// they hold of the input and the writer they were converted into.
bool CheckedFilter::release() {
    while (out_ < first_ + taken_.size()) {
        const Block& b = taken_[static_cast<std::size_t>(out_ - first_)];
        if (b.original_end > progress_.original || b.converted_end > progress_.converted) break;
        for (const Piece& p : b.converted) {
            if (!output_->write(p.data, p.len)) {
                write_failed_ = true;
                return false;
            }
        }
        out_original_ = b.original_end;
        ++out_;
    }
    // A side still holds the block it lent from last.
    while (!taken_.empty() && first_ < out_ && first_ < original_side_.held && first_ < converted_side_.held) {
        Block& b = taken_.front();
        first_converted_ = b.converted_end;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            released_ = b.original_end;
            if (b.writer) returned_.push_back(std::move(b.writer));
        }
        taken_.pop_front();
        ++first_;
    }
    return true;
}

// The input from out_original_ on, as it is: what the blocks not written
// out hold, then what the converter left unread (its thread is over).
bool CheckedFilter::pass_rest() {
    for (Block& b : queue_) taken_.push_back(std::move(b));
    queue_.clear();
    for (std::size_t i = static_cast<std::size_t>(out_ - first_); i < taken_.size(); ++i) {
        for (const Piece& p : taken_[i].original) {
            if (!output_->write(p.data, p.len)) return false;
        }
    }
    unsigned long long pos = handed_;
    const unsigned char* data;
    long k;
    while ((k = record_.lend_at(pos, &data)) > 0) {
        if (!output_->write(data, static_cast<std::size_t>(k))) return false;
        pos += static_cast<unsigned long long>(k);
        record_.trim(pos);
    }
    return k == 0;
}

FilterResult CheckedFilter::run_whole(ByteSource& input, ByteSink& output, int tab_size,
                                      std::optional<Encoding> encoding, Style style) {
    FilterResult r;
    std::string in;
    for (;;) {
        const std::size_t had = in.size();
        in.resize(had + kReadSize);
        const long got = input.read(reinterpret_cast<unsigned char*>(&in[had]), kReadSize);
        in.resize(had + (got > 0 ? static_cast<std::size_t>(got) : 0));
        if (got < 0) {
            r.kind = FilterResult::kReadError;
            return r;
        }
        if (got == 0) break;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(in.data());
    TextScan scan;
    if (!scan.feed(bytes, in.size())) r.kind = FilterResult::kBinary;
    else if (!encoding && scan.unclear()) r.kind = FilterResult::kUnclear;
    std::string out;
    if (r.kind == FilterResult::kConverted) {
        EngineState& e = engine_ = EngineState{};
        e.tab_size = tab_size;
        e.style = style;
        e.encoding = encoding.value_or(scan.encoding());
        MemorySource source(in.data(), in.size());
        StringSink converted;
        TextReader reader(source);
        TextWriter writer(converted);
        e.in = &reader;
        e.out = &writer;
        r.tabs = convert_file(e);
        writer.flush();
        r.dots = e.dots;
        r.expanded = e.expanded;
        MemorySource a(in.data(), in.size()), b(converted.out.data(), converted.out.size());
        VerifyProgress progress;
        r.check = verify_conversion(a, b, &e.encoding, &progress);
        if (r.check == VerifyResult::kSame) {
            out.swap(converted.out);
        } else {
            r.kind = FilterResult::kCheckFailed;
            const std::size_t at = static_cast<std::size_t>(
                std::min<unsigned long long>(progress.differs > 0 ? progress.differs - 1 : 0, in.size()));
            r.line = count_lf(bytes, at) + 1;
        }
    }
    // What cannot be converted goes out as it came.
    const std::string& written = r.kind == FilterResult::kConverted ? out : in;
    if (!written.empty() && !output.write(reinterpret_cast<const unsigned char*>(written.data()), written.size())) {
        r.kind = FilterResult::kWriteError;
    }
    return r;
}

// LF bytes before pos in the input, pos at least out_original_ (the
// converter's thread is over): counted on from the last place at or before
// it that the converter's reader knew the count at, which the record still
// holds.
unsigned long long CheckedFilter::lines_before(unsigned long long pos) {
    LendingCursor::Mark from{to_reader_.pos, to_reader_.lines};
    if (from.pos > pos) {
        for (auto m = to_reader_.marks.rbegin(); m != to_reader_.marks.rend(); ++m) {
            if (m->pos <= pos) {
                from = *m;
                break;
            }
        }
    }
    unsigned long long lines = from.lines, at = from.pos;
    const unsigned char* data;
    long k;
    while (at < pos && (k = record_.lend_at(at, &data)) > 0) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<unsigned long long>(static_cast<unsigned long long>(k), pos - at));
        lines += count_lf(data, n);
        at += n;
    }
    return lines;
}

FilterResult CheckedFilter::run(ByteSource& input, ByteSink& output, int tab_size, std::optional<Encoding> encoding,
                                Style style) {
    return run_with(input, nullptr, output, tab_size, encoding, style);
}

FilterResult CheckedFilter::run(ReadAheadSource& input, ByteSink& output, int tab_size,
                                std::optional<Encoding> encoding, Style style) {
    return run_with(input, &input, output, tab_size, encoding, style);
}

FilterResult CheckedFilter::run_with(ByteSource& input, ReadAheadSource* placing, ByteSink& output, int tab_size,
                                     std::optional<Encoding> encoding, Style style) {
    if (style != Style::kTabs) return run_whole(input, output, tab_size, encoding, style);
    output_ = &output;
    engine_ = EngineState{};
    engine_.tab_size = tab_size;
    engine_.encoding = encoding.value_or(Encoding::kCp932);
    ByteSource* source = &input;
    // Standard input cannot be read twice: auto decides as it goes by.
    if (!encoding) source = &sniffer_.emplace(input, &engine_.encoding);
    record_.reset(*source, placing);
    placing_ = placing;
    // Whichever way the run ends, nothing is read into the record after it.
    struct Finish {
        Record& record;
        ~Finish() { record.finish(); }
    } finish{record_};
    to_reader_.record = &record_;
    to_reader_.pos = 0;
    to_reader_.nul = LendingCursor::kNoNul;
    to_reader_.lines = 0;
    to_reader_.marks.clear();
    reader_.emplace(to_reader_);
    // A writer a run left half full (it stopped at a read error) is not
    // taken again.
    writer_.reset();
    sink_.lend_next = false;
    sink_.lent = Piece{nullptr, 0};
    sink_.copied.clear();
    engine_.in = &*reader_;
    engine_.out = nullptr;  // a writer for each block
    convert_begin(engine_);
    kept_from_ = released_ = 0;
    tabs_ = 0;
    ended_ = false;
    stop_.reset();
    handed_ = 0;
    queue_.clear();
    finished_ = cancel_ = converter_waits_ = check_waits_ = false;
    taken_.clear();
    first_ = out_ = first_converted_ = out_original_ = beyond_pos_ = 0;
    original_side_ = Side{};
    converted_side_ = Side{};
    original_side_.filter = converted_side_.filter = this;
    converted_side_.converted = true;
    check_encoding_ = engine_.encoding;
    progress_ = VerifyProgress{};
    write_failed_ = stop_seen_ = false;

    FilterResult r;
    {
        std::thread converter;
        try {
            converter = std::thread([this] { convert_ahead(); });
        } catch (const std::system_error&) {
            // Nothing is converted: the input goes out as it came.
            r.kind = FilterResult::kNoThread;
            if (!pass_rest()) r.kind = record_.failed() ? FilterResult::kReadError : FilterResult::kWriteError;
            return r;
        }
        r.check = verify_conversion(original_side_, converted_side_, &check_encoding_, &progress_);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            cancel_ = true;
            if (converter_waits_) changed_.notify_all();
        }
        converter.join();
    }
    if (write_failed_) {
        r.kind = FilterResult::kWriteError;
        return r;
    }
    if (r.check == VerifyResult::kSame && !stop_seen_) {
        progress_.original = progress_.converted = ~0ull;  // all of it accepted
        if (!release()) r.kind = FilterResult::kWriteError;
        r.tabs = tabs_ > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(tabs_);
        r.dots = engine_.dots;
        return r;
    }
    if (!release()) {
        r.kind = FilterResult::kWriteError;
        return r;
    }
    r.kind = stop_seen_ ? *stop_ : r.check == VerifyResult::kReadError ? FilterResult::kReadError
                                                                        : FilterResult::kCheckFailed;
    if (r.kind == FilterResult::kCheckFailed) {
        r.line = lines_before(progress_.differs > 0 ? progress_.differs - 1 : 0) + 1;
    }
    r.from_line = lines_before(out_original_) + 1;
    if (!pass_rest()) {
        if (record_.failed()) r.kind = FilterResult::kReadError;
        else r.kind = FilterResult::kWriteError;
    }
    return r;
}

std::string filter_message(const FilterResult& r) {
    std::string why;
    switch (r.kind) {
    case FilterResult::kConverted:
        return "";
    case FilterResult::kReadError:
        return "error reading standard input";
    case FilterResult::kWriteError:
        return "error writing standard output";
    case FilterResult::kBinary:
        why = "binary input (a NUL byte, or data after a Ctrl-Z)";
        break;
    case FilterResult::kUnclear:
        why = "encoding unclear (neither UTF-8 nor code page 932; --encoding names one)";
        break;
    case FilterResult::kNoThread:
        why = "cannot start a thread (the system's limit on threads or memory)";
        break;
    case FilterResult::kCheckFailed:
        why = "line " + std::to_string(r.line) + ": " + verify_reason(r.check);
        break;
    }
    if (r.from_line <= 1) return why + "; passed through unchanged";
    return why + "; from line " + std::to_string(r.from_line) + " on passed through unchanged";
}

}  // namespace ravolin
