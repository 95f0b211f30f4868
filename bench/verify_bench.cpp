// Throughput of the conversion check on space-indented C: the kernel headers
// under /usr/include/linux and /usr/include/asm-generic, each passed through
// `expand -t 4`, against the converter's own output for them. The batch run
// checks every file before replacing it, so this has to stay cheap next to
// the conversion itself. All in memory; the best of several runs counts.
// Then the same text as one file of --mb N MB (64 by default), lent to the
// check where it lies a block at a time, as the filter's read-ahead lends
// its input and a check of a large file holds it: read from memory rather
// than from the caches.
//
//   verify_bench [--runs R] [--mb N]
#include <algorithm>
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

// Lends the bytes of text[0, n) where they lie, block bytes at a time
// (text holds kPieceSlack more after them).
class InPlace : public ravolin::ByteSource {
public:
    InPlace(const std::string& text, std::size_t n, std::size_t block) : text_(text), n_(n), block_(block) {}
    long read(unsigned char* buf, std::size_t n) override {
        unsigned char* data;
        std::size_t plain;
        const long k = lend_upto(&data, &plain, n);
        if (k > 0) std::memcpy(buf, data, static_cast<std::size_t>(k));
        return k;
    }
    bool lends() const override { return true; }
    long lend(unsigned char** data, std::size_t* plain) override { return lend_upto(data, plain, block_); }

private:
    long lend_upto(unsigned char** data, std::size_t* plain, std::size_t most) {
        const std::size_t k = std::min(most, n_ - pos_);
        *data = reinterpret_cast<unsigned char*>(const_cast<char*>(text_.data())) + pos_;  // only read
        *plain = 0;
        pos_ += k;
        return static_cast<long>(k);
    }
    const std::string& text_;
    std::size_t n_, block_, pos_ = 0;
};

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 30;
    std::size_t large_mb = 64;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--mb")) large_mb = static_cast<std::size_t>(std::atol(argv[i + 1]));
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

    std::string large;
    while (large.size() < large_mb << 20) {
        for (const File& f : files) large += f.original;
    }
    const std::string converted = convert(large);
    const std::size_t n = large.size(), m = converted.size();
    large.append(ravolin::kPieceSlack, ' ');
    const std::string converted_slack = converted + std::string(ravolin::kPieceSlack, ' ');
    double best_large = 1e9;
    bool large_failed = false;
    for (int r = 0; r < std::min(runs, 5); ++r) {
        InPlace a(large, n, 1u << 18), b(converted_slack, m, 1u << 18);
        const double t0 = now();
        large_failed = ravolin::verify_conversion(a, b, ravolin::Encoding::kCp932) != ravolin::VerifyResult::kSame;
        const double t = now() - t0;
        if (t < best_large) best_large = t;
    }
    std::printf("one file of %.0f MB, lent in place: check %.0f MB/s%s\n", n / 1048576.0, n / 1048576.0 / best_large,
                large_failed ? "; not accepted" : "");
    return failed == 0 && !large_failed ? 0 : 1;
}
