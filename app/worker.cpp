#include "app/worker.h"

#include <process.h>

#include "batch/run.h"
#include "batch/run_log.h"
#include "settings/shared_data.h"

namespace ravolin {

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

void Worker::stop_run() {
    if (!run_under_way()) return;
    cancel_.store(true);
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
}

bool Worker::is_current_run(WPARAM run_number) const {
    return run_under_way() && run_number == run_number_;
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
    const RunInput input{g_text_slots[kSlotSpec], g_text_slots[kSlotTabSize]};
    ReportBuffers report(g_text_slots[kSlotResult], g_text_slots[kSlotRunLog], kSlotSize);
    run_batch(platform_file_system(), input, report, w->cancel_);
    PostMessageA(w->notify_, kMsgRunEnded, w->run_number_, 0);
    return 0;
}

}  // namespace ravolin
