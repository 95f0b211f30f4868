#include "window/worker.h"

#include <process.h>

#include <cstdio>

#include "base/bounded_text.h"

#include "form/edit_texts.h"
#include "batch/run_log.h"
#include "settings/window_data.h"

namespace ravolin {
namespace {

// The window's report: lines and summary into the text slots, the start of
// each file into the progress mailbox.
class WindowReport final : public RunSink {
public:
    WindowReport(ReportBuffers& buffers, ProgressMailbox& progress, HWND to, WPARAM run_number)
        : buffers_(&buffers), progress_(&progress), to_(to), run_number_(run_number) {}
    void file(const FileEvent& event) override { buffers_->file(event); }
    void summary(const RunCounts& counts) override { buffers_->summary(counts); }
    void starting(int index, int count, const char* name) override {
        progress_->offer(to_, run_number_, index, count, name);
    }

private:
    ReportBuffers* buffers_;
    ProgressMailbox* progress_;
    HWND to_;
    WPARAM run_number_;
};

}  // namespace

void ProgressMailbox::offer(HWND to, WPARAM run_number, int index, int count, const char* name) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        std::snprintf(text_, sizeof text_, "%d / %d files: %s", index + 1, count, name);
    }
    const DWORD now = GetTickCount();
    if (posted_ && now - last_post_ < 100) return;
    posted_ = true;
    last_post_ = now;
    PostMessageA(to, kMsgRunProgress, run_number, 0);
}

void ProgressMailbox::take(char* out, std::size_t cap) {
    std::lock_guard<std::mutex> hold(lock_);
    copy_text(out, cap, text_);
}

bool Worker::start_run(HWND main) {
    if (run_under_way()) return false;
    cancel_.store(false);
    notify_ = main;
    ++run_number_;
    uintptr_t t = _beginthreadex(nullptr, 0, &Worker::entry, this, 0, nullptr);
    if (t == 0) return false;
    thread_.reset(reinterpret_cast<HANDLE>(t));
    return true;
}

bool Worker::stop_run() {
    if (!run_under_way()) return false;
    cancel_.store(true);
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
    return cut_short_.load();
}

bool Worker::is_current_run(WPARAM run_number) const {
    return run_under_way() && run_number == run_number_;
}

bool Worker::take_progress(WPARAM run_number, char* out, std::size_t cap) {
    if (!is_current_run(run_number)) return false;
    progress_.take(out, cap);
    return true;
}

void Worker::finish_run() {
    if (!run_under_way()) return;
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
}

unsigned __stdcall Worker::entry(void* self) {
    Worker* w = static_cast<Worker*>(self);
    // notify_ and run_number_ are set before the thread starts and stay put
    // until it has been waited for.
    // Slots 3 and 10 cannot change during a run: their controls are disabled.
    // The worker owns slots 0 and 1 until its end-of-run message is taken.
    RunInput input;
    input.wildcard_path = g_text_slots[kSlotSpec];
    input.tab_size = tab_size_of_box(g_text_slots[kSlotTabSize]);
    ReportBuffers buffers(g_text_slots[kSlotResult], g_text_slots[kSlotRunLog], kSlotSize);
    w->progress_.reset();
    WindowReport report(buffers, w->progress_, w->notify_, w->run_number_);
    Report counted(report, RunKind::kConvert);
    const RunOutcome outcome = w->run_.run(platform_file_system(), input, counted, w->cancel_);
    w->cut_short_.store(outcome == RunOutcome::kCancelled);
    PostMessageA(w->notify_, kMsgRunEnded, w->run_number_, 0);
    return 0;
}

}  // namespace ravolin
