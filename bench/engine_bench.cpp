// Throughput of ravolin-cli's filter mode against GNU `unexpand -a` on the
// same bytes, measured in one run: both read the same file from the page
// cache and write to /dev/null; each is timed several times, interleaved
// with each other and with the other corpora, and the best time counts.
// Then the peak memory of ravolin-cli on that file and on sixteen times it
// through a pipe (64 MB -> 1 GB by default).
//
//   engine_bench [--mb N] [--runs R] [--repeat K] [--cli PATH] [--keep DIR] [--styles 1]
//
// With --styles 1 it measures the indentation styles instead, each against
// the default on the same corpus (--expand on the run's output, which has
// tabs to expand), and checks on every corpus that a run followed by
// --expand gives the original back, that --smart displays as the original
// at the tab size, and how many lines lose their alignment at tab size 2 or
// 8 after the run and after --smart (see alignment()).
//
// The corpora are what the tool is for: tab-indented C nobody here wrote (the
// kernel headers under /usr/include/linux and /usr/include/asm-generic),
// passed through `expand -t 4`, repeated up to N MB:
//   ascii      that text, bytes >= 0x80 dropped;
//   utf-8      the same with Japanese line comments after some statements;
//   shift-jis  the UTF-8 corpus through iconv to code page 932 (some
//              comments end in a character whose second byte is 0x5C, so
//              dots go in);
//   ... CR LF  the Shift-JIS and the UTF-8 corpus with CR LF line ends, as
//              files kept on Windows and every converted file have them.
// A summary line gives each CR LF row's speed as a share of its LF row's.
// ravolin-cli reads each with its default encoding choice (auto). A run that
// fails is said on standard error and in its row, and the other rows go on;
// the exit status is then 1.
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

#include "engine/utf8.h"

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs argv with stdin from in_path (repeat times over, through a pipe, when
// repeat > 1) and stdout/stderr to /dev/null; returns the wall time and the
// child's peak resident set in KiB.
double run(const std::vector<std::string>& argv, const std::string& in_path, int repeat, long* max_rss_kb) {
    int pipe_fd[2] = {-1, -1};
    pid_t feeder = -1;
    if (repeat > 1) {
        if (pipe(pipe_fd) != 0) std::exit(1);
        feeder = fork();
        if (feeder == 0) {
            close(pipe_fd[0]);
            static char buf[1 << 16];
            for (int k = 0; k < repeat; ++k) {
                int in = open(in_path.c_str(), O_RDONLY);
                ssize_t n;
                while ((n = read(in, buf, sizeof buf)) > 0) {
                    for (ssize_t off = 0; off < n;) {
                        ssize_t w = write(pipe_fd[1], buf + off, static_cast<size_t>(n - off));
                        if (w <= 0) _exit(1);
                        off += w;
                    }
                }
                close(in);
            }
            _exit(0);
        }
    }
    double t0 = now();
    pid_t pid = fork();
    if (pid == 0) {
        int in = repeat > 1 ? pipe_fd[0] : open(in_path.c_str(), O_RDONLY);
        int null = open("/dev/null", O_WRONLY);
        if (in < 0 || null < 0) _exit(127);
        if (repeat > 1) close(pipe_fd[1]);
        dup2(in, 0);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (repeat > 1) {
        close(pipe_fd[0]);
        close(pipe_fd[1]);
    }
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    double t = now() - t0;
    if (feeder > 0) waitpid(feeder, nullptr, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        if (WIFSIGNALED(status)) {
            std::fprintf(stderr, "engine_bench: %s on %s: killed by signal %d\n", argv[0].c_str(), in_path.c_str(),
                         WTERMSIG(status));
        } else {
            std::fprintf(stderr, "engine_bench: %s on %s: exit status %d%s\n", argv[0].c_str(), in_path.c_str(),
                         WEXITSTATUS(status), WEXITSTATUS(status) == 127 ? " (could not start it)" : "");
        }
        return -1;
    }
    if (max_rss_kb) *max_rss_kb = ru.ru_maxrss;
    return t;
}

void sh(const std::string& cmd) {
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "engine_bench: command failed: %s\n", cmd.c_str());
        std::exit(1);
    }
}

std::string read_file(const std::string& path) {
    std::string s;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return s;
    char buf[1 << 16];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
}

// The ASCII corpus with a Japanese comment after every other statement that
// ends a line; every other comment ends in 表, whose code page 932 form ends
// in 0x5C.
bool add_comments(const std::string& from, const std::string& to) {
    static const char* const kComments[] = {
        "    // 値を返す",
        "    // 設定の一覧表",
        "    // 呼び出し元が確保した領域に書く",
        "    // 割り込みの対応表",
    };
    const std::string text = read_file(from);
    FILE* out = std::fopen(to.c_str(), "wb");
    if (!out) return false;
    long statements = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::fwrite(text.data() + start, 1, end - start, out);
        if (end > start && text[end - 1] == ';' && (++statements % 2) == 0) {
            std::fputs(kComments[(statements / 2) % 4], out);
        }
        if (end < text.size()) std::fputc('\n', out);
        start = end + 1;
    }
    const bool written = !std::ferror(out);
    return std::fclose(out) == 0 && written;
}

bool exists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

struct Density {
    double mb = 0, spaces = 0, bytes_per_run = 0, high = 0;
};

// Share of spaces, bytes per run of two or more spaces, share of bytes >= 0x80.
Density measure(const std::string& path) {
    const std::string s = read_file(path);
    long spaces = 0, runs = 0, high = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        if (b == ' ') {
            ++spaces;
            if (i + 1 < s.size() && s[i + 1] == ' ' && (i == 0 || s[i - 1] != ' ')) ++runs;
        } else if (b >= 0x80) {
            ++high;
        }
    }
    Density d;
    const double n = s.empty() ? 1.0 : static_cast<double>(s.size());
    d.mb = n / 1048576.0;
    d.spaces = 100.0 * spaces / n;
    d.bytes_per_run = runs ? n / runs : 0;
    d.high = 100.0 * high / n;
    return d;
}

// Output of argv with stdin from in_path, into out_path; false on failure.
bool run_into(const std::string& cmd, const std::string& in_path, const std::string& out_path) {
    return std::system((cmd + " < " + in_path + " > " + out_path + " 2>/dev/null").c_str()) == 0;
}

// The columns of a text's non-blank characters at tab size ts, line by
// line; a dot a conversion put in is left out, so texts compare with and
// without it. Shift-JIS pairs and UTF-8 characters by their widths.
std::vector<std::vector<long>> shown(const std::string& t, int ts, bool utf8) {
    std::vector<std::vector<long>> lines(1);
    long col = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(t[i]);
        if (b == '\r' && i + 1 < t.size() && t[i + 1] == '\n') continue;
        if (b == '\n') {
            lines.emplace_back();
            col = 0;
        } else if (b == '\t') {
            col += ts - col % ts;
        } else if (b == ' ') {
            ++col;
        } else if (b >= 0x80 && !utf8) {
            const bool lead = b <= 0x9F || b >= 0xE0;
            lines.back().push_back(col);
            col += lead ? 2 : 1;
            if (lead) ++i;
            if (lead && i + 1 < t.size() && t[i + 1] == '.' && (i + 2 >= t.size() || t[i + 2] == '\r')) ++i;
        } else if (b >= 0x80) {
            const ravolin::Utf8Lead lead = ravolin::kUtf8Leads.at[b];
            unsigned cp = b & (0x7Fu >> (lead.len ? lead.len : 1));
            int k = 1;
            for (; k < lead.len && i + k < t.size(); ++k) cp = (cp << 6) | (t[i + k] & 0x3Fu);
            lines.back().push_back(col);
            col += lead.len ? ravolin::display_width(cp) : 1;
            i += static_cast<std::size_t>(k - 1);
        } else {
            lines.back().push_back(col);
            ++col;
        }
    }
    return lines;
}

// Lines whose characters move against the line's leading tabs between tab
// sizes 2, 4 and 8 (a tab after the indentation), and lines whose first
// character stands at tab size 4 under a character inside the line above
// (after its first) that leaves a '(' open, as a continued call's arguments
// do, but not at 2 or 8.
struct Alignment {
    long lines_moved = 0, continuations_apart = 0;
};

Alignment alignment(const std::string& t, bool utf8) {
    const auto a2 = shown(t, 2, utf8), a4 = shown(t, 4, utf8), a8 = shown(t, 8, utf8);
    std::vector<long> tabs(1, 0), open(1, 0);
    bool leading = true;
    for (char ch : t) {
        if (ch == '(') ++open.back();
        if (ch == ')') --open.back();
        if (ch == '\n') {
            tabs.push_back(0);
            open.push_back(0);
            leading = true;
        } else if (ch == '\t' && leading) {
            ++tabs.back();
        } else if (ch != '\r') {
            leading = false;
        }
    }
    Alignment r;
    for (std::size_t l = 0; l < a4.size() && l < tabs.size(); ++l) {
        for (std::size_t i = 0; i < a4[l].size(); ++i) {
            if (a2[l][i] - 2 * tabs[l] != a4[l][i] - 4 * tabs[l] || a8[l][i] - 8 * tabs[l] != a4[l][i] - 4 * tabs[l]) {
                ++r.lines_moved;
                break;
            }
        }
        if (l == 0 || a4[l].empty() || a4[l - 1].size() < 2 || open[l - 1] <= 0) continue;
        const auto& up = a4[l - 1];
        for (std::size_t i = 1; i < up.size(); ++i) {
            if (up[i] != a4[l][0]) continue;
            if (a2[l - 1][i] != a2[l][0] || a8[l - 1][i] != a8[l][0]) ++r.continuations_apart;
            break;
        }
    }
    return r;
}

int bench_styles(const std::string& cli, const std::string& dir, const std::vector<std::pair<const char*, std::string>>& corpora,
                 int runs) {
    const char* const kStyles[] = {"", "--leading", "--smart", "--expand"};
    std::printf("%-15s | %9s | %15s %15s %15s %15s | %s\n", "corpus", "default", "--leading", "--smart",
                "--expand (run)", "--expand --leading", "run, --expand: original back; --smart: shown as before; "
                "lines moved at 2 or 8, continuations apart: run / --smart");
    int status = 0;
    for (const auto& [name, path] : corpora) {
        const bool utf8 = std::strstr(name, "utf-8") != nullptr;
        const std::string ran = dir + "/styles-run.c", smart = dir + "/styles-smart.c", back = dir + "/styles-back.c",
                          plain = dir + "/styles-plain.c";
        const std::string t4 = cli + " -t 4 ";
        if (!run_into(t4 + "-", path, ran) || !run_into(t4 + "--smart -", path, smart) ||
            !run_into(t4 + "--expand -", ran, back) || !run_into(t4 + "--expand -", path, plain)) {
            std::printf("%-15s | failed (see standard error)\n", name);
            status = 1;
            continue;
        }
        double best[6] = {1e9, 1e9, 1e9, 1e9, 1e9, 1e9};
        for (int r = 0; r < runs; ++r) {
            for (int k = 0; k < 5; ++k) {
                std::vector<std::string> argv = {cli, "-t", "4"};
                if (k > 0 && k < 4) argv.push_back(kStyles[k]);
                if (k == 4) {
                    argv.push_back("--expand");
                    argv.push_back("--leading");
                }
                argv.push_back("-");
                const double t = run(argv, k >= 3 ? ran : path, 1, nullptr);
                if (t < 0) status = 1;
                if (t >= 0 && t < best[k]) best[k] = t;
            }
        }
        const double mb = measure(path).mb, mb_ran = measure(ran).mb;
        const std::string a = read_file(path), b = read_file(back), c = read_file(plain), d = read_file(smart),
                          e = read_file(ran);
        const bool round_trip = b == c, same_view = shown(d, 4, utf8) == shown(c, 4, utf8);
        const Alignment al_run = alignment(e, utf8), al_smart = alignment(d, utf8);
        std::printf("%-15s | %6.0f MB/s | %5.0f (%4.2fx) %5.0f (%4.2fx) %5.0f (%4.2fx) %5.0f (%4.2fx) | %s; %s; %ld, %ld / %ld, %ld\n",
                    name, mb / best[0], mb / best[1], best[1] / best[0], mb / best[2], best[2] / best[0],
                    mb_ran / best[3], (mb / best[0]) / (mb_ran / best[3]),
                    mb_ran / best[4], (mb / best[0]) / (mb_ran / best[4]), round_trip ? "yes" : "NO",
                    same_view ? "yes" : "NO", al_run.lines_moved, al_run.continuations_apart, al_smart.lines_moved,
                    al_smart.continuations_apart);
        if (!round_trip || !same_view) status = 1;
        sh("rm -f " + ran + " " + smart + " " + back + " " + plain);
    }
    std::printf("(NN.NNx: the default's MB/s over the style's; --expand rows read the run's output)\n");
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    long mb = 64;
    int runs = 5;
    int repeat = 16;
    std::string cli = "./ravolin-cli";
    std::string keep;
    bool styles = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--styles")) styles = std::atoi(argv[i + 1]) != 0;
        if (!std::strcmp(argv[i], "--mb")) mb = std::atol(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--repeat")) repeat = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--cli")) cli = argv[i + 1];
        else if (!std::strcmp(argv[i], "--keep")) keep = argv[i + 1];
    }
    if (access(cli.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "engine_bench: no ravolin-cli at %s (use --cli)\n", cli.c_str());
        return 1;
    }
    char tmpl[] = "/tmp/ravolin-bench-XXXXXX";
    const std::string dir = keep.empty() ? std::string(mkdtemp(tmpl)) : keep;
    if (!keep.empty()) sh("mkdir -p " + keep);
    const std::string ascii = dir + "/ascii.c", utf8 = dir + "/utf-8.c", sjis = dir + "/shift-jis.c";
    // Each corpus is made when it is missing, so a --keep folder that lost
    // one (or was filled by an older version of this program) still gives
    // all three rows.
    if (!exists(ascii)) {
        const std::string one = dir + "/headers.c";
        sh("find /usr/include/linux /usr/include/asm-generic -name '*.h' -type f -print0 | sort -z |"
           " xargs -0 cat | expand -t 4 | LC_ALL=C tr -d '\\200-\\377' > " + one);
        sh("while [ $(stat -c %s " + ascii + ".part 2>/dev/null || echo 0) -lt " + std::to_string(mb << 20) +
           " ]; do cat " + one + " >> " + ascii + ".part; done");
        sh("truncate -s " + std::to_string(mb << 20) + " " + ascii + ".part && rm " + one + " && mv " + ascii +
           ".part " + ascii);
    }
    if (!exists(utf8)) {
        if (!add_comments(ascii, utf8 + ".part")) {
            std::fprintf(stderr, "engine_bench: could not write %s.part\n", utf8.c_str());
            return 1;
        }
        sh("mv " + utf8 + ".part " + utf8);
    }
    if (!exists(sjis)) sh("iconv -f UTF-8 -t CP932 " + utf8 + " > " + sjis + ".part && mv " + sjis + ".part " + sjis);
    const std::string sjis_crlf = dir + "/shift-jis-crlf.c", utf8_crlf = dir + "/utf-8-crlf.c";
    for (const std::string* lf : {&sjis, &utf8}) {
        const std::string crlf = lf == &sjis ? sjis_crlf : utf8_crlf;
        if (!exists(crlf)) {
            sh("LC_ALL=C sed 's/$/\\r/' " + *lf + " > " + crlf + ".part && mv " + crlf + ".part " + crlf);
        }
    }
    // The program under test is copied first: a rebuild of its folder while
    // the benchmark runs (others build there too) would otherwise make one
    // row fail to start it.
    const std::string cli_copy = dir + "/ravolin-cli-under-test";
    sh("cp " + cli + " " + cli_copy);
    cli = cli_copy;

    char version[128] = "";
    if (FILE* p = popen((cli + " --version").c_str(), "r")) {
        if (!std::fgets(version, sizeof version, p)) version[0] = '\0';
        pclose(p);
    }
    version[std::strcspn(version, "\n")] = '\0';
    // Each row is out as soon as it is measured, even into a pipe.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (styles) {
        std::printf("%s; styles, best of %d interleaved runs\n", version, runs);
        const int st = bench_styles(cli, dir, {{"ascii", ascii}, {"shift-jis", sjis}, {"utf-8", utf8},
                                               {"shift-jis CR LF", sjis_crlf}, {"utf-8 CR LF", utf8_crlf}}, runs);
        if (keep.empty()) sh("rm -rf " + dir);
        else sh("rm -f " + cli);
        return st;
    }
    std::printf("%s; best of %d interleaved runs, input from the page cache, output to /dev/null\n", version,
                runs);
    std::printf("%-15s %6s %7s %9s %7s | %12s %13s %6s | %s\n", "corpus", "MB", "spaces", "bytes/run", ">=0x80",
                "ravolin MB/s", "unexpand MB/s", "ratio", "ravolin-cli peak memory");
    int status = 0;
    const struct {
        const char* name;
        const std::string* path;
    } corpora[] = {{"ascii", &ascii},
                   {"shift-jis", &sjis},
                   {"utf-8", &utf8},
                   {"shift-jis CR LF", &sjis_crlf},
                   {"utf-8 CR LF", &utf8_crlf}};
    // Round after round over every corpus, ravolin-cli and unexpand in turn:
    // a machine shared with other work slows whatever runs meanwhile, and so
    // slows all the rows alike rather than the last one.
    constexpr int kCorpora = sizeof corpora / sizeof corpora[0];
    struct Row {
        Density d;
        double best_r = 1e9, best_u = 1e9;
        long rss = 0, rss_big = 0;
        bool failed = false;
    } rows[kCorpora];
    for (int i = 0; i < kCorpora; ++i) rows[i].d = measure(*corpora[i].path);
    for (int r = 0; r < runs; ++r) {
        for (int i = 0; i < kCorpora; ++i) {
            Row& row = rows[i];
            if (row.failed) continue;
            long k = 0;
            const double tr = run({cli, "-t", "4", "-"}, *corpora[i].path, 1, &k);
            const double tu = run({"unexpand", "-a", "-t", "4"}, *corpora[i].path, 1, nullptr);
            row.failed = tr < 0 || tu < 0;
            if (tr < row.best_r) row.best_r = tr;
            if (tu < row.best_u) row.best_u = tu;
            if (k > row.rss) row.rss = k;
        }
    }
    for (int i = 0; i < kCorpora; ++i) {
        Row& row = rows[i];
        const Density& d = row.d;
        if (!row.failed) row.failed = run({cli, "-t", "4", "-"}, *corpora[i].path, repeat, &row.rss_big) < 0;
        if (row.failed) {
            // Said in the table, not just on stderr, and the other rows go on.
            std::printf("%-15s %6.1f %6.1f%% %9.1f %6.1f%% | failed (see standard error)\n", corpora[i].name, d.mb,
                        d.spaces, d.bytes_per_run, d.high);
            status = 1;
            continue;
        }
        std::printf("%-15s %6.1f %6.1f%% %9.1f %6.1f%% | %12.0f %13.0f %5.2fx | %ld KiB on %ld MB, %ld KiB on %ld MB\n",
                    corpora[i].name, d.mb, d.spaces, d.bytes_per_run, d.high, d.mb / row.best_r, d.mb / row.best_u,
                    row.best_u / row.best_r, row.rss, static_cast<long>(d.mb + 0.5), row.rss_big,
                    static_cast<long>(d.mb * repeat + 0.5));
    }
    // CR LF rows against their LF rows (the same text but for the line
    // ends): 1.00 means the CR costs nothing.
    std::printf("CR LF speed as a share of LF:");
    for (int crlf = 3; crlf < kCorpora; ++crlf) {
        const Row &a = rows[crlf], &b = rows[crlf - 2];
        if (a.failed || b.failed) std::printf(" %s failed", corpora[crlf - 2].name);
        else std::printf(" %s %.2f", corpora[crlf - 2].name, (a.d.mb / a.best_r) / (b.d.mb / b.best_r));
    }
    std::printf("\n");
    if (keep.empty()) sh("rm -rf " + dir);
    else sh("rm -f " + cli);
    return status;
}
