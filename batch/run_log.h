// The report as the window shows it: lines gathered in a run log, then the
// summary followed by the log in the result text, both in buffers the caller
// owns. The log always keeps room for its truncation marker and for the
// summary line, so the result text never cuts a line in half.
#pragma once
#include <cstddef>

#include "batch/report.h"

namespace ravolin {

constexpr char kLogTruncated[] = "(log truncated)\r\n";

class ReportBuffers final : public RunSink {
public:
    // result and log each hold cap bytes; the log is emptied here.
    ReportBuffers(char* result, char* log, std::size_t cap);

    // Appends the event's line to the log. A line that does not fit ends
    // the log with kLogTruncated; later lines are dropped.
    void file(const FileEvent& event) override;
    // The result text becomes the summary, a line on the files left out
    // (when the run could not take them all), and the log; the log is
    // emptied. A cancelled run leaves both alone: the window ends its log.
    void summary(const RunCounts& counts) override;

private:
    char* result_;
    char* log_;
    std::size_t cap_;
    std::size_t used_ = 0;
    bool truncated_ = false;
    // A report line is cut at this size (it keeps its CR LF).
    char line_[2010];
};

}  // namespace ravolin
