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

    // The file (or pattern) was left as it was.
    void error(const char* what);

    void summary();

    RunCounts counts;

private:
    RunSink* sink_;
};

}  // namespace ravolin
