// The run's report: formats each line, hands it to the RunSink and keeps the
// counts. The one place that writes an Error line. Internal to batch/.
#pragma once
#include "batch/run.h"

namespace ravolin {

class Report {
public:
    explicit Report(RunSink& sink) : sink_(&sink) {}

    // One line; a line longer than the report line is cut but keeps its CR LF.
    void line(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    // The file (or pattern) was left as it was, unless detail says
    // otherwise: "Error: WHAT" or "Error: WHAT (DETAIL)".
    void error(const char* what, const char* detail = nullptr);

    // "Skipped   : NAME (WHY)": the file was left as it was, on purpose.
    void skipped(const char* name, const char* why);

    // The summary line; ", Skipped = S" and ", Errors = E" follow only when
    // not 0, so that it stays the same for runs without either.
    void summary();

    // Entry index of count, name, is about to be handled.
    void starting(int index, int count, const char* name) { sink_->starting(index, count, name); }

    // Shown in front of the file name of the lines that follow ("" for none).
    void set_folder(const char* shown) { folder_ = shown; }

    // Adds to counts.tabs, which stays at INT_MAX once the sum passes it.
    void add_tabs(int tabs);

    RunCounts counts;

private:
    long long total_tabs_ = 0;
    RunSink* sink_;
    const char* folder_ = "";
};

}  // namespace ravolin
