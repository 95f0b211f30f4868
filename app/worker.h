// The conversion worker: one batch run on a thread of its own. The thread
// never touches a window; when its run ends it posts kMsgRunEnded to the main
// window, whose thread shows the report and returns to the idle state.
#pragma once
#include <windows.h>

#include <atomic>

#include "base/win32_handle.h"
#include "form/commands_win32.h"

namespace ravolin {

// Posted by the worker when its run has ended; wParam is the run's number so
// that the end of a run that Abort already stopped is recognised as stale.
constexpr UINT kMsgRunEnded = WM_APP + 1;

class Worker final : public RunControl {
public:
    bool start_run(HWND main) override;
    bool run_under_way() const override { return thread_.get() != nullptr; }
    void stop_run() override;

    // True when a kMsgRunEnded with this wParam belongs to the run under way.
    bool is_current_run(WPARAM run_number) const;
    // Called by the window thread after it has taken the run's end: waits
    // for the thread (it is returning) and drops its handle.
    void finish_run();

private:
    static unsigned __stdcall entry(void* self);

    ThreadHandle thread_;
    std::atomic<bool> cancel_{false};
    HWND notify_ = nullptr;
    WPARAM run_number_ = 0;
};

}  // namespace ravolin
