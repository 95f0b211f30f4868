#include "tests/test_util.h"

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

Converted convert(const std::string& in, int tab_size, std::size_t chunk, Encoding encoding, ConvertFn fn) {
    MemorySource src(in.data(), in.size(), chunk);
    StringSink sink;
    // Large buffers: on the heap, and not zeroed first (the fuzzer calls this often).
    std::unique_ptr<TextReader> reader(new TextReader(src));
    std::unique_ptr<TextWriter> writer(new TextWriter(sink));
    auto st = std::make_unique<EngineState>();
    st->in = reader.get();
    st->out = writer.get();
    st->tab_size = tab_size;
    st->encoding = encoding;
    Converted r;
    r.tabs = fn(*st);
    r.dots = st->dots;
    writer->flush();
    r.text = sink.out;
    return r;
}

}  // namespace ravolin::test
