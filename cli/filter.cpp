#include "cli/filter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "batch/text_checks.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ravolin {
namespace {

constexpr std::size_t kReadSize = 1u << 16;

unsigned long long count_lf(const unsigned char* p, std::size_t n) {
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

}  // namespace

void CheckedFilter::Record::reset(ByteSource& src) {
    src_ = &src;
    blocks_.clear();
    last_len_ = 0;
    base_ = lines_ = 0;
    done_ = error_ = false;
}

bool CheckedFilter::Record::more() {
    if (done_) return false;
    if (blocks_.empty() || last_len_ == kReadSize) {
        blocks_.push_back(spare_ ? std::move(spare_) : std::unique_ptr<unsigned char[]>(new unsigned char[kReadSize]));
        last_len_ = 0;
    }
    const long got = src_->read(blocks_.back().get() + last_len_, kReadSize - last_len_);
    if (got > 0) last_len_ += static_cast<std::size_t>(got);
    if (got < 0) error_ = true;
    if (got <= 0) done_ = true;
    return got > 0;
}

unsigned char* CheckedFilter::Record::at(unsigned long long pos, std::size_t* left) const {
    const unsigned long long off = pos - base_;
    const std::size_t block = static_cast<std::size_t>(off / kReadSize), in = static_cast<std::size_t>(off % kReadSize);
    *left = (block + 1 == blocks_.size() ? last_len_ : kReadSize) - in;
    return blocks_[block].get() + in;
}

long CheckedFilter::Record::read_at(unsigned long long pos, unsigned char* buf, std::size_t n) {
    unsigned char* data;
    const long k = lend_at(pos, &data);
    if (k <= 0) return k;
    const std::size_t m = std::min(n, static_cast<std::size_t>(k));
    std::memcpy(buf, data, m);
    return static_cast<long>(m);
}

long CheckedFilter::Record::lend_at(unsigned long long pos, unsigned char** data) {
    while (blocks_.empty() || pos >= base_ + (blocks_.size() - 1) * kReadSize + last_len_) {
        if (!more()) return error_ ? -1 : 0;
    }
    std::size_t left;
    *data = at(pos, &left);
    return static_cast<long>(left);
}

void CheckedFilter::Record::trim(unsigned long long pos) {
    // Whole blocks only (all but the last are full), so nothing ever moves.
    while (blocks_.size() > 1 && pos >= base_ + kReadSize) {
        lines_ += count_lf(blocks_.front().get(), kReadSize);
        spare_ = std::move(blocks_.front());
        blocks_.pop_front();
        base_ += kReadSize;
    }
}

unsigned long long CheckedFilter::Record::lines_before(unsigned long long pos) const {
    unsigned long long lines = lines_;
    for (unsigned long long from = base_; from < pos && !blocks_.empty();) {
        std::size_t left;
        const unsigned char* p = at(from, &left);
        const std::size_t k = static_cast<std::size_t>(std::min<unsigned long long>(left, pos - from));
        if (k == 0) break;  // past what was read
        lines += count_lf(p, k);
        from += k;
    }
    return lines;
}

long CheckedFilter::Cursor::read(unsigned char* buf, std::size_t n) {
    const long k = record->read_at(pos, buf, n);
    if (k > 0) pos += static_cast<unsigned long long>(k);
    return k;
}

long CheckedFilter::Cursor::lend(unsigned char** data, std::size_t* plain) {
    *plain = 0;
    held = pos;
    const long k = record->lend_at(pos, data);
    if (k > 0) pos += static_cast<unsigned long long>(k);
    return k;
}

long CheckedFilter::Converted::read(unsigned char* buf, std::size_t n) {
    unsigned char* data;
    std::size_t plain;
    const long k = lend(&data, &plain);
    if (k <= 0) return k;
    // Whatever was not copied is handed over again.
    const std::size_t m = std::min(n, static_cast<std::size_t>(k));
    std::memcpy(buf, data, m);
    filter->text_pos_ -= static_cast<std::size_t>(k) - m;
    return static_cast<long>(m);
}

long CheckedFilter::Converted::lend(unsigned char** data, std::size_t* plain) {
    CheckedFilter& f = *filter;
    *plain = 0;
    while (f.text_pos_ == f.text_base_ + f.text_.size()) {
        if (!f.release()) return -1;
        if (!f.produce()) return f.stop_ ? -1 : 0;
    }
    const std::size_t at = static_cast<std::size_t>(f.text_pos_ - f.text_base_);
    const std::size_t k = f.text_.size() - at;
    *data = f.text_.data() + at;
    f.text_pos_ += k;
    return static_cast<long>(k);
}

// Converts the next block for the check; false at the end of the text or
// where the conversion must stop (stop_ says why).
bool CheckedFilter::produce() {
    if (ended_ || stop_) return false;
    const unsigned char* window;
    const int len = reader_->peek(&window);
    if (sniffer_ && sniffer_->decided() && sniffer_->unclear()) {
        stop_ = FilterResult::kUnclear;
        return false;
    }
    if (len > 0 && std::memchr(window, 0, static_cast<std::size_t>(len))) {
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
    writer_->flush();
    blocks_.push_back({reader_->consumed(), text_base_ + text_.size()});
    if (more) return true;
    ended_ = true;
    if (reader_->failed() || record_.failed()) {
        stop_ = FilterResult::kReadError;
        return false;
    }
    return true;  // the last block is there to be checked
}

// Writes out every block the check has accepted; false when the output
// fails.
bool CheckedFilter::release() {
    while (first_block_ < blocks_.size()) {
        const Block& b = blocks_[first_block_];
        if (b.original_end > progress_.original || b.converted_end > progress_.converted) break;
        const std::size_t from = static_cast<std::size_t>(out_converted_ - text_base_);
        const std::size_t n = static_cast<std::size_t>(b.converted_end - out_converted_);
        if (n > 0 && !output_->write(text_.data() + from, n)) {
            write_failed_ = true;
            return false;
        }
        out_original_ = b.original_end;
        out_converted_ = b.converted_end;
        ++first_block_;
    }
    if (first_block_ == blocks_.size()) {
        blocks_.clear();
        first_block_ = 0;
    }
    // Converted text the check has read and that is out is done with.
    const std::size_t done = static_cast<std::size_t>(std::min(out_converted_, text_pos_) - text_base_);
    if (done >= kReadSize && 2 * done >= text_.size()) {
        text_.erase(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(done));
        text_base_ += done;
    }
    record_.trim(std::min({out_original_, to_reader_.pos, to_check_.held}));
    return true;
}

// The input from byte from on, as it is.
bool CheckedFilter::pass_rest(unsigned long long from) {
    Cursor rest;
    rest.record = &record_;
    rest.pos = from;
    unsigned char buf[1u << 14];
    long k;
    while ((k = rest.read(buf, sizeof buf)) > 0) {
        if (!output_->write(buf, static_cast<std::size_t>(k))) return false;
        record_.trim(rest.pos);
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

FilterResult CheckedFilter::run(ByteSource& input, ByteSink& output, int tab_size, std::optional<Encoding> encoding,
                                Style style) {
    if (style != Style::kTabs) return run_whole(input, output, tab_size, encoding, style);
    output_ = &output;
    engine_ = EngineState{};
    engine_.tab_size = tab_size;
    engine_.encoding = encoding.value_or(Encoding::kCp932);
    ByteSource* source = &input;
    // Standard input cannot be read twice: auto decides as it goes by.
    if (!encoding) source = &sniffer_.emplace(input, &engine_.encoding);
    record_.reset(*source);
    to_reader_.record = to_check_.record = &record_;
    to_reader_.pos = to_check_.pos = to_check_.held = 0;
    to_check_.lending = true;
    converted_.filter = this;
    sink_.out = &text_;
    reader_.emplace(to_reader_);
    writer_.emplace(sink_);
    engine_.in = &*reader_;
    engine_.out = &*writer_;
    convert_begin(engine_);

    FilterResult r;
    r.check = verify_conversion(to_check_, converted_, &engine_.encoding, &progress_);
    if (write_failed_) {
        r.kind = FilterResult::kWriteError;
        return r;
    }
    if (r.check == VerifyResult::kSame && !stop_) {
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
    r.kind = stop_ ? *stop_ : r.check == VerifyResult::kReadError ? FilterResult::kReadError
                                                                   : FilterResult::kCheckFailed;
    if (r.kind == FilterResult::kCheckFailed) {
        r.line = record_.lines_before(progress_.differs > 0 ? progress_.differs - 1 : 0) + 1;
    }
    r.from_line = record_.lines_before(out_original_) + 1;
    if (!pass_rest(out_original_)) {
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
    case FilterResult::kCheckFailed:
        why = "line " + std::to_string(r.line) + ": " + verify_reason(r.check);
        break;
    }
    if (r.from_line <= 1) return why + "; passed through unchanged";
    return why + "; from line " + std::to_string(r.from_line) + " on passed through unchanged";
}

}  // namespace ravolin
