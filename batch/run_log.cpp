#include "batch/run_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "batch/run.h"
#include "settings/shared_data.h"

namespace ravolin {
namespace {

constexpr int kReportLineSize = 2010;
// The summary line with five counts of at most 11 characters each is 122
// characters; the log leaves this much of the result text for it.
constexpr std::size_t kSummaryRoom = 128;
constexpr std::size_t kMarkerLen = sizeof(kLogTruncated) - 1;
// Longest run log: the summary and the marker still fit behind it.
constexpr std::size_t kLogLimit = kSlotSize - 1 - kSummaryRoom - kMarkerLen;

char g_report_line[kReportLineSize];
bool g_log_truncated = false;

}  // namespace

void clear_run_log() {
    g_text_slots[kSlotRunLog][0] = '\0';
    g_log_truncated = false;
}

void log_line(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    int n = std::vsnprintf(g_report_line, sizeof g_report_line, format, args);
    va_end(args);
    if (n < 0) return;
    std::size_t len = static_cast<std::size_t>(n);
    if (len >= sizeof g_report_line) {
        len = sizeof g_report_line - 1;
        g_report_line[len - 2] = '\r';
        g_report_line[len - 1] = '\n';
    }
    if (g_log_truncated) return;
    char* log = g_text_slots[kSlotRunLog];
    std::size_t used = std::strlen(log);
    if (used + len > kLogLimit) {
        append_text(log, kSlotSize, kLogTruncated);
        g_log_truncated = true;
        return;
    }
    append_text(log, kSlotSize, g_report_line);
}

void publish_report(const RunCounts& c) {
    std::snprintf(g_report_line, sizeof g_report_line,
                  "Converted files = %d (Total %d tabs, %d dots), Non conv. = %d, Refused = %d\r\n",
                  c.converted, c.tabs, c.dots, c.non_converted, c.refused);
    copy_text(g_text_slots[kSlotResult], kSlotSize, g_report_line);
    append_text(g_text_slots[kSlotResult], kSlotSize, g_text_slots[kSlotRunLog]);
    clear_run_log();
}

}  // namespace ravolin
