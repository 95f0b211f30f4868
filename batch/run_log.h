// Lines of the run log (text slot 1) and the summary in the result text
// (slot 0). The log always keeps room for its truncation marker and for the
// summary line, so the result text never cuts a line in half.
#pragma once

namespace ravolin {

struct RunCounts;

constexpr char kLogTruncated[] = "(log truncated)\r\n";

void clear_run_log();

// Formats one line (printf-style, ending in "\r\n") and appends it to the run
// log. A line that does not fit ends the log with kLogTruncated; later lines
// are dropped. A line longer than the report line is cut but keeps its CR LF.
void log_line(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The result text becomes the summary line followed by the run log; the run
// log is cleared.
void publish_report(const RunCounts& counts);

}  // namespace ravolin
