#include "cli/signals.h"

#include <csignal>
#include <initializer_list>

#ifdef _WIN32
#include <windows.h>
#endif

namespace ravolin {
namespace {

std::atomic<bool> g_cancel{false};
std::atomic<int> g_status{0};
std::atomic<bool> g_done{false};

void note(int status) {
    int none = 0;
    g_status.compare_exchange_strong(none, status);
    g_cancel.store(true);
}

#ifdef _WIN32
BOOL WINAPI on_console_event(DWORD event) {
    const bool closing = event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT;
    if (!closing && g_cancel.load()) return FALSE;  // the second Ctrl-C ends the program
    note(closing ? 128 + 1 : 128 + 2);
    if (closing) {
        // The process ends as soon as this returns: give the run its moment
        // to leave the file under way as it was (Windows allows about 5 s).
        for (int waited = 0; !g_done.load() && waited < 4500; waited += 50) Sleep(50);
    }
    return TRUE;
}
#else
extern "C" void on_signal(int sig) { note(128 + sig); }
#endif

}  // namespace

const std::atomic<bool>& catch_interrupts() {
#ifdef _WIN32
    SetConsoleCtrlHandler(on_console_event, TRUE);
#else
    struct sigaction sa = {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    // SA_RESETHAND: a second signal takes its default course and ends the
    // program even when the run is stuck.
    sa.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
#endif
    return g_cancel;
}

int interrupt_status() { return g_status.load(); }

void interrupts_done() { g_done.store(true); }

}  // namespace ravolin
