#include "tests/test_util.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace ravolin::test {

std::string crlf(const std::string& lf_text) {
    std::string r;
    for (char ch : lf_text) {
        if (ch == '\n') r += '\r';
        r += ch;
    }
    return r;
}

namespace {

class LendingSource : public ByteSource {
public:
    LendingSource(const std::string& data, std::size_t block) : data_(data), block_(block) {}
    long read(unsigned char* buf, std::size_t n) override {
        const std::size_t k = std::min(n, data_.size() - pos_);
        std::memcpy(buf, data_.data() + pos_, k);
        pos_ += k;
        return static_cast<long>(k);
    }
    bool lends() const override { return true; }
    long lend(unsigned char** data, std::size_t* plain) override {
        const std::size_t left = data_.size() - pos_;
        const std::size_t k = block_ && block_ < left ? block_ : left;
        // Exactly the bytes and the slack, so that a sanitizer sees a read
        // past them; spaces in the slack, the worst a scanner could take
        // for text.
        loan_.reset(new unsigned char[k + kPieceSlack]);
        std::memcpy(loan_.get(), data_.data() + pos_, k);
        std::memset(loan_.get() + k, ' ', kPieceSlack);
        pos_ += k;
        *data = loan_.get();
        *plain = ++loans_ % 2 ? plain_text_prefix(loan_.get(), k) : 0;
        return static_cast<long>(k);
    }

private:
    const std::string& data_;
    std::size_t block_, pos_ = 0;
    long loans_ = 0;
    std::unique_ptr<unsigned char[]> loan_;
};

Converted convert_from(ByteSource& src, int tab_size, Encoding encoding, ConvertFn fn, LineEnds ends, Style style) {
    StringSink sink;
    // Large buffers: on the heap, and not zeroed first (the fuzzer calls this often).
    std::unique_ptr<TextReader> reader(new TextReader(src, ends));
    std::unique_ptr<TextWriter> writer(new TextWriter(sink));
    auto st = std::make_unique<EngineState>();
    st->in = reader.get();
    st->out = writer.get();
    st->tab_size = tab_size;
    st->encoding = encoding;
    st->style = style;
    Converted r;
    r.tabs = fn(*st);
    r.dots = st->dots;
    r.expanded = st->expanded;
    writer->flush();
    r.text = sink.out;
    return r;
}

}  // namespace

Converted convert(const std::string& in, int tab_size, std::size_t chunk, Encoding encoding, ConvertFn fn,
                  LineEnds ends, Style style) {
    MemorySource src(in.data(), in.size(), chunk);
    return convert_from(src, tab_size, encoding, fn, ends, style);
}

Converted convert_lent(const std::string& in, int tab_size, std::size_t block, Encoding encoding, Style style) {
    LendingSource src(in, block);
    return convert_from(src, tab_size, encoding, convert_file, LineEnds::kKept, style);
}

std::unique_ptr<ByteSource> lending_source(const std::string& data, std::size_t block) {
    return std::make_unique<LendingSource>(data, block);
}

void for_each_scan_path(void (*f)(void*), void* context) {
    const ScanPath was = scan_path_in_use();
    for (const ScanPath path : {ScanPath::kScalar, ScanPath::kSse2, ScanPath::kAvx2, ScanPath::kAvx512}) {
        if (!use_scan_path(path)) continue;
        f(context);
    }
    use_scan_path(was);
}

}  // namespace ravolin::test
