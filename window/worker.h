// The conversion worker: one batch run on a thread of its own. The thread
// never touches a window: it posts kMsgRunProgress while its run goes on and
// kMsgRunEnded when it ends to the main window, whose thread shows the
// progress, then the report, and returns to the idle state.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <mutex>

#include "base/win32_handle.h"
#include "batch/file_system.h"
#include "batch/run.h"
#include "window/commands.h"

namespace ravolin {

// Posted by the worker when its run has ended; wParam is the run's number so
// that the end of a run that Abort already stopped is recognised as stale.
constexpr UINT kMsgRunEnded = WM_APP + 1;
// Posted by the worker when a file is started, at most ten times a second;
// wParam is the run's number. The text is taken with take_progress.
constexpr UINT kMsgRunProgress = WM_APP + 2;

// The latest progress text, "N / M files: NAME", handed from the worker to
// the window thread.
class ProgressMailbox {
public:
    // Worker: a new run begins.
    void reset() {
        last_post_ = 0;
        posted_ = false;
    }
    // Worker: file index + 1 of count is started; the text is replaced, and
    // kMsgRunProgress posted unless one went less than 100 ms ago.
    void offer(HWND to, WPARAM run_number, int index, int count, const char* name);
    // Window thread: the latest text, cut to cap bytes.
    void take(char* out, std::size_t cap);

private:
    std::mutex lock_;
    char text_[kRunPathSize + 64] = "";
    DWORD last_post_ = 0;  // worker only
    bool posted_ = false;  // worker only
};

class Worker final : public RunControl {
public:
    bool start_run(HWND main) override;
    bool run_under_way() const override { return thread_.get() != nullptr; }
    bool stop_run() override;

    // True when a kMsgRunEnded with this wParam belongs to the run under way.
    bool is_current_run(WPARAM run_number) const;
    // Called by the window thread after it has taken the run's end: waits
    // for the thread (it is returning) and drops its handle.
    void finish_run();
    // Called by the window thread for a kMsgRunProgress: the progress text
    // when the message belongs to the run under way.
    bool take_progress(WPARAM run_number, char* out, std::size_t cap);

private:
    static unsigned __stdcall entry(void* self);

    ThreadHandle thread_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> cut_short_{false};  // the last run's outcome, set before it ends
    HWND notify_ = nullptr;
    WPARAM run_number_ = 0;
    ProgressMailbox progress_;
    // The worker's run and all it works in; the worker is static, so this
    // is zero bytes in the image.
    BatchRun run_;
};

}  // namespace ravolin
