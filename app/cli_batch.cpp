#include "app/cli_batch.h"

#include <csignal>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

#include "app/stdio_streams.h"
#include "batch/run.h"
#include "batch/run_log.h"

namespace ravolin {
namespace {

// Ctrl-C cancels the run like the window's Abort: the file under way goes
// back to what it was and no half-written file is left behind.
std::atomic<bool> g_cancel{false};

// The report as the window would show it, at the size of its result box.
constexpr std::size_t kReportTextSize = 32000;
char g_result[kReportTextSize];
char g_log[kReportTextSize];

#ifdef _WIN32
BOOL WINAPI on_console_break(DWORD) {
    g_cancel.store(true);
    return TRUE;
}
void catch_interrupts() { SetConsoleCtrlHandler(on_console_break, TRUE); }
#else
extern "C" void on_signal(int) { g_cancel.store(true); }
void catch_interrupts() {
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
}
#endif

// Prints a slot's text with the platform's line ends: the slots hold CR LF,
// which stays on Windows and becomes LF elsewhere.
bool print_text(const char* text) {
    set_binary_mode(stdout);
#ifdef _WIN32
    std::size_t n = std::strlen(text);
    return std::fwrite(text, 1, n, stdout) == n;
#else
    while (*text != '\0') {
        const char* cr = std::strstr(text, "\r\n");
        std::size_t n = cr ? static_cast<std::size_t>(cr - text) : std::strlen(text);
        if (std::fwrite(text, 1, n, stdout) != n) return false;
        if (!cr) break;
        if (std::fputc('\n', stdout) == EOF) return false;
        text = cr + 2;
    }
    return true;
#endif
}

}  // namespace

int cli_batch(const char* wildcard_path, const char* tab_text) {
    catch_interrupts();
    RunCounts counts;
    ReportBuffers report(g_result, g_log, kReportTextSize);
    const RunOutcome outcome =
        run_batch(platform_file_system(), RunInput{wildcard_path, tab_text}, report, g_cancel, &counts);
    const bool finished = outcome == RunOutcome::kFinished;
    bool printed = print_text(finished ? g_result : g_log);
    printed = std::fflush(stdout) == 0 && printed;
    if (!finished) std::fputs("ravolin-cli: aborted\n", stderr);
    if (!printed) std::fputs("ravolin-cli: error writing standard output\n", stderr);
    return finished && printed && counts.refused == 0 && counts.errors == 0 ? 0 : 1;
}

}  // namespace ravolin
