// Helpers shared by the batch run's tests: a run over the text slots, and the
// bytes a file should hold once converted.
#pragma once
#include <atomic>
#include <string>

#include "batch/run.h"
#include "settings/shared_data.h"
#include "tests/test_util.h"

namespace ravolin::test {

struct RunResult {
    RunOutcome outcome;
    RunCounts counts;
    std::string result;  // text slot 0 after the run
    std::string log;     // text slot 1 after the run
};

constexpr char kOldResult[] = "result of an earlier run\r\n";

inline RunResult run(FileSystem& fs, const std::string& wildcard_path, const std::string& tab_text = "4",
                     const std::atomic<bool>* cancel = nullptr) {
    static const std::atomic<bool> never{false};
    copy_text(g_text_slots[kSlotSpec], kSlotSize, wildcard_path.c_str());
    copy_text(g_text_slots[kSlotTabSize], kSlotSize, tab_text.c_str());
    copy_text(g_text_slots[kSlotResult], kSlotSize, kOldResult);
    copy_text(g_text_slots[kSlotRunLog], kSlotSize, "left over\r\n");
    RunResult r;
    r.outcome = run_batch(fs, cancel ? *cancel : never, &r.counts);
    r.result = g_text_slots[kSlotResult];
    r.log = g_text_slots[kSlotRunLog];
    return r;
}

inline std::string converted(const std::string& original, int tab_size = 4) {
    return convert(original, tab_size).text;
}

}  // namespace ravolin::test
