#include "tests/test_util.h"

#include <memory>

#include "engine/engine.h"

namespace ravolin::test {

Converted convert(const std::string& in, int tab_size, std::size_t chunk) {
    MemorySource src(in.data(), in.size(), chunk);
    StringSink sink;
    auto reader = std::make_unique<TextReader>(src);
    auto writer = std::make_unique<TextWriter>(sink);
    auto st = std::make_unique<EngineState>();
    st->in = reader.get();
    st->out = writer.get();
    st->tab_size = tab_size;
    Converted r;
    r.tabs = convert_file(*st);
    r.dots = st->dots;
    writer->flush();
    r.text = sink.out;
    return r;
}

}  // namespace ravolin::test
