// Helpers shared by the batch run's tests: a run reported into buffers the
// size of the window's result box, and the bytes a file should hold once
// converted.
#pragma once
#include <atomic>
#include <optional>
#include <string>

#include "batch/run.h"
#include "base/bounded_text.h"
#include "batch/run_log.h"
#include "tests/test_util.h"

namespace ravolin::test {

struct RunResult {
    RunOutcome outcome;
    RunCounts counts;
    std::string result;  // the result text after the run
    std::string log;     // the run log after the run
};

constexpr char kOldResult[] = "result of an earlier run\r\n";
constexpr std::size_t kTextSize = 32000;  // the window's result text and run log

// One run of the window's kind: the files of wildcard_path.
inline RunResult run(FileSystem& fs, const std::string& wildcard_path, int tab_size = 4,
                     const std::atomic<bool>* cancel = nullptr, std::optional<Encoding> encoding = std::nullopt) {
    static const std::atomic<bool> never{false};
    static char result[kTextSize], log[kTextSize];
    static BatchRun batch;
    copy_text(result, kTextSize, kOldResult);
    copy_text(log, kTextSize, "left over\r\n");
    ReportBuffers buffers(result, log, kTextSize);
    Report report(buffers, RunKind::kConvert);
    RunResult r;
    RunInput input;
    input.wildcard_path = wildcard_path.c_str();
    input.tab_size = tab_size;
    input.encoding = encoding;
    r.outcome = batch.run(fs, input, report, cancel ? *cancel : never);
    r.counts = report.counts;
    r.result = result;
    r.log = log;
    return r;
}

inline std::string converted(const std::string& original, int tab_size = 4) {
    return convert(original, tab_size).text;
}

}  // namespace ravolin::test
