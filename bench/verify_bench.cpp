// Throughput of the conversion check on space-indented C: the kernel headers
// under /usr/include/linux and /usr/include/asm-generic, each passed through
// `expand -t 4`, against the converter's own output for them. The batch run
// checks every file before replacing it, so this has to stay cheap next to
// the conversion itself. All in memory; the best of several runs counts.
//
//   verify_bench [--runs R]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "verify/verify.h"

namespace {

struct File {
    std::string original, converted;
};

std::string run_output(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[1 << 16];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

std::string convert(const std::string& in) {
    ravolin::MemorySource src(in.data(), in.size());
    ravolin::StringSink sink;
    auto reader = std::make_unique<ravolin::TextReader>(src);
    auto writer = std::make_unique<ravolin::TextWriter>(sink);
    ravolin::EngineState st;
    st.in = reader.get();
    st.out = writer.get();
    st.tab_size = 4;
    ravolin::convert_file(st);
    writer->flush();
    return sink.out;
}

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 30;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
    }
    std::vector<File> files;
    std::size_t bytes = 0;
    const std::string list =
        run_output("find /usr/include/linux /usr/include/asm-generic -name '*.h' -type f 2>/dev/null | sort");
    for (std::size_t at = 0; at < list.size();) {
        std::size_t end = list.find('\n', at);
        if (end == std::string::npos) end = list.size();
        const std::string path = list.substr(at, end - at);
        at = end + 1;
        File f;
        f.original = run_output("expand -t 4 '" + path + "'");
        if (f.original.empty()) continue;
        f.converted = convert(f.original);
        bytes += f.original.size();
        files.push_back(std::move(f));
    }
    if (files.empty()) {
        std::fprintf(stderr, "verify_bench: no headers under /usr/include/linux\n");
        return 1;
    }

    // The conversion itself on the same text, for scale.
    double best_convert = 1e9, best = 1e9;
    int failed = 0;
    for (int r = 0; r < runs; ++r) {
        double t0 = now();
        for (const File& f : files) convert(f.original);
        const double tc = now() - t0;
        if (tc < best_convert) best_convert = tc;
        failed = 0;
        t0 = now();
        for (const File& f : files) {
            ravolin::MemorySource a(f.original.data(), f.original.size());
            ravolin::MemorySource b(f.converted.data(), f.converted.size());
            if (ravolin::verify_conversion(a, b, ravolin::Encoding::kCp932) != ravolin::VerifyResult::kSame) ++failed;
        }
        const double t = now() - t0;
        if (t < best) best = t;
    }
    const double mb = bytes / 1048576.0;
    std::printf("%zu files, %.1f MB, best of %d: check %.0f MB/s, conversion %.0f MB/s; %d not accepted\n",
                files.size(), mb, runs, mb / best, mb / best_convert, failed);
    return failed == 0 ? 0 : 1;
}
