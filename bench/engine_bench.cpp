// Throughput of ravolin-cli's filter mode against GNU `unexpand -a` on the
// same C text, measured in one run: both read the same file from the page
// cache and write to /dev/null; each is timed several times, interleaved,
// and the best time counts.
//
//   engine_bench [--mb N] [--runs R] [--cli PATH] [--keep DIR]
//
// The corpus is real C text nobody here wrote: the headers under
// /usr/include, passed through `expand -t 4`, and the same text with
// Shift-JIS line comments (some ending in a 0x5C character, so dots go in).
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string g_dir;

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs argv with stdin from in_path and stdout/stderr to /dev/null; returns
// the wall time and the child's peak resident set in KiB.
double run(const std::vector<std::string>& argv, const std::string& in_path, long* max_rss_kb) {
    double t0 = now();
    pid_t pid = fork();
    if (pid == 0) {
        int in = open(in_path.c_str(), O_RDONLY);
        int null = open("/dev/null", O_WRONLY);
        if (in < 0 || null < 0) _exit(127);
        dup2(in, 0);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    double t = now() - t0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "engine_bench: %s failed\n", argv[0].c_str());
        std::exit(1);
    }
    if (max_rss_kb) *max_rss_kb = ru.ru_maxrss;
    return t;
}

std::string sh(const std::string& cmd) {
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "engine_bench: command failed: %s\n", cmd.c_str());
        std::exit(1);
    }
    return cmd;
}

long file_size(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::fseek(f, 0, SEEK_END);
    long n = std::ftell(f);
    std::fclose(f);
    return n;
}

// The ASCII corpus with a Shift-JIS comment on every third line that ends
// in a semicolon; every other such comment ends in 表 (0x95 0x5C).
void make_sjis(const std::string& from, const std::string& to) {
    FILE* in = std::fopen(from.c_str(), "rb");
    FILE* out = std::fopen(to.c_str(), "wb");
    if (!in || !out) std::exit(1);
    static const char* comments[] = {
        "    // \x92\x6c\x82\xf0\x95\xd4\x82\xb7",      // 値を返す
        "    // \x90\xdd\x92\xe8\x82\xcc\x88\xea\x97\x97\x95\x5c",  // 設定の一覧表
    };
    char line[65536];
    long n = 0;
    while (std::fgets(line, sizeof line, in)) {
        size_t len = std::strlen(line);
        bool eol = len > 0 && line[len - 1] == '\n';
        if (eol && len > 1 && line[len - 2] == ';' && (++n % 3) == 0) {
            line[len - 1] = '\0';
            std::fprintf(out, "%s%s\n", line, comments[(n / 3) % 2]);
        } else {
            std::fputs(line, out);
        }
    }
    std::fclose(in);
    std::fclose(out);
}

}  // namespace

int main(int argc, char** argv) {
    long mb = 64;
    int runs = 5;
    std::string cli = "./ravolin-cli";
    std::string keep;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--mb")) mb = std::atol(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--cli")) cli = argv[i + 1];
        else if (!std::strcmp(argv[i], "--keep")) keep = argv[i + 1];
    }
    if (access(cli.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "engine_bench: no ravolin-cli at %s (use --cli)\n", cli.c_str());
        return 1;
    }
    char tmpl[] = "/tmp/ravolin-bench-XXXXXX";
    g_dir = keep.empty() ? std::string(mkdtemp(tmpl)) : keep;
    std::string ascii = g_dir + "/corpus-ascii.c", sjis = g_dir + "/corpus-sjis.c", big = g_dir + "/corpus-x4.c";
    if (file_size(ascii) == 0) {
        sh("find /usr/include -name '*.h' -type f -print0 | sort -z | xargs -0 cat | expand -t 4 | head -c " +
           std::to_string(mb << 20) + " > " + ascii);
        make_sjis(ascii, sjis);
        sh("cat " + ascii + " " + ascii + " " + ascii + " " + ascii + " > " + big);
    }

    std::printf("%-10s %9s %12s %12s %8s\n", "corpus", "MB", "ravolin MB/s", "unexpand MB/s", "ratio");
    for (const std::string& path : {ascii, sjis}) {
        double best_r = 1e9, best_u = 1e9;
        for (int r = 0; r < runs; ++r) {
            double tr = run({cli, "-t", "4", "-"}, path, nullptr);
            double tu = run({"unexpand", "-a", "-t", "4"}, path, nullptr);
            if (tr < best_r) best_r = tr;
            if (tu < best_u) best_u = tu;
        }
        double size_mb = file_size(path) / 1048576.0;
        std::printf("%-10s %9.1f %12.0f %12.0f %7.2fx\n", path == ascii ? "ascii" : "shift-jis", size_mb,
                    size_mb / best_r, size_mb / best_u, best_u / best_r);
    }
    long rss1 = 0, rss4 = 0;
    run({cli, "-t", "4", "-"}, ascii, &rss1);
    run({cli, "-t", "4", "-"}, big, &rss4);
    std::printf("peak memory of ravolin-cli: %ld KiB on %ld MB, %ld KiB on %ld MB\n", rss1, file_size(ascii) >> 20,
                rss4, file_size(big) >> 20);
    if (keep.empty()) sh("rm -rf " + g_dir);
    return 0;
}
