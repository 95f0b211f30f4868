#include "cli/git_lines.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "base/utf16_text.h"
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;
#endif

namespace ravolin {
namespace {

struct GitRun {
    bool started = false;
    int status = -1;
    std::string output;  // standard output and standard error together
};

#ifdef _WIN32
// One argument as the C runtime's command-line reader takes it back.
void quote_argument(const std::string& arg, std::string& line) {
    line += '"';
    std::size_t backslashes = 0;
    for (char ch : arg) {
        if (ch == '\\') {
            ++backslashes;
            continue;
        }
        line.append(ch == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        line += ch;
    }
    line.append(2 * backslashes, '\\');
    line += '"';
}

GitRun run_git(const std::vector<std::string>& args) {
    GitRun r;
    std::string line = "git";
    for (const std::string& a : args) {
        line += ' ';
        quote_argument(a, line);
    }
    std::u16string wide;
    if (!utf8_to_utf16(line.data(), line.size(), wide)) return r;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return r;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = INVALID_HANDLE_VALUE;
    si.hStdOutput = write_end;
    si.hStdError = write_end;
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> command(wide.begin(), wide.end());
    command.push_back(L'\0');
    const BOOL made = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                     nullptr, &si, &pi);
    CloseHandle(write_end);
    if (!made) {
        CloseHandle(read_end);
        return r;
    }
    r.started = true;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(read_end, buf, sizeof buf, &got, nullptr) && got > 0) r.output.append(buf, got);
    CloseHandle(read_end);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    r.status = static_cast<int>(code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return r;
}
#else
GitRun run_git(const std::vector<std::string>& args) {
    GitRun r;
    std::vector<char*> argv;
    std::string git = "git";
    argv.push_back(&git[0]);
    std::vector<std::string> copies(args);
    for (std::string& a : copies) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return r;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[1]);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "git", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_ends[1]);
    if (spawned != 0) {
        close(pipe_ends[0]);
        return r;
    }
    r.started = true;
    char buf[4096];
    for (;;) {
        const ssize_t got = read(pipe_ends[0], buf, sizeof buf);
        if (got > 0) {
            r.output.append(buf, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    close(pipe_ends[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    // A git that could not be executed (127) was not found.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && r.output.empty()) r.started = false;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return r;
}
#endif

// git's first line that says what went wrong ("fatal: not a git
// repository ..."), without its line end.
std::string first_line(const std::string& output) {
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, 6, "fatal:") == 0 || line.compare(0, 6, "error:") == 0) return line;
        start = end + 1;
    }
    return output.substr(0, output.find('\n'));
}

bool refused(const GitRun& r, std::string* error) {
    if (!r.started) {
        *error = "git could not be run (is it installed and on the PATH?)";
        return true;
    }
    *error = "git: " + first_line(r.output);
    return true;
}

long long number_at(const std::string& s, std::size_t& i) {
    long long n = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') n = n * 10 + (s[i++] - '0');
    return n;
}

}  // namespace

void parse_hunk_lines(const std::string& diff, LineRanges* lines) {
    std::size_t start = 0;
    while (start < diff.size()) {
        std::size_t end = diff.find('\n', start);
        if (end == std::string::npos) end = diff.size();
        if (diff.compare(start, 4, "@@ -") == 0) {
            const std::size_t plus = diff.find(" +", start + 4);
            if (plus != std::string::npos && plus < end) {
                std::size_t i = plus + 2;
                const long long first = number_at(diff, i);
                long long count = 1;
                if (i < end && diff[i] == ',') {
                    ++i;
                    count = number_at(diff, i);
                }
                // A hunk that only removes lines leaves none to convert.
                if (count > 0 && first > 0) lines->push_back(LineRange{first, first + count - 1});
            }
        }
        start = end + 1;
    }
    settle_ranges(*lines);
}

bool git_changed_lines(const std::string& folder, const std::string& name, const char* rev, LineRanges* lines,
                       std::string* error) {
    lines->clear();
    // Literal pathspecs: a name with '*' or '?' names that file, not a pattern.
    const GitRun tracked = run_git({"--literal-pathspecs", "-C", folder, "ls-files", "--error-unmatch", "--", name});
    if (!tracked.started || (tracked.status != 0 && tracked.status != 1)) return !refused(tracked, error);
    if (tracked.status == 1) {
        lines->push_back(LineRange{1, 1LL << 53});  // not tracked: all of it
        return true;
    }
    const GitRun diff = run_git({"--literal-pathspecs", "-C", folder, "diff", "-U0", "--no-color", "--no-ext-diff",
                                 "--no-textconv", rev, "--", name});
    if (diff.started && diff.status != 0 && std::strcmp(rev, "HEAD") == 0) {
        // Before a repository's first commit there is no HEAD to compare
        // with: every file is new, all of it.
        const GitRun head = run_git({"-C", folder, "rev-parse", "--verify", "--quiet", "HEAD"});
        if (head.started && head.status == 1) {
            lines->push_back(LineRange{1, 1LL << 53});
            return true;
        }
    }
    if (!diff.started || diff.status != 0) return !refused(diff, error);
    parse_hunk_lines(diff.output, lines);
    return true;
}

}  // namespace ravolin
