#include "batch/report.h"

#include <cstdarg>
#include <cstdio>

namespace ravolin {
namespace {

constexpr int kReportLineSize = 2010;
char g_report_line[kReportLineSize];

void format_line(const char* format, std::va_list args) {
    int n = std::vsnprintf(g_report_line, sizeof g_report_line, format, args);
    if (n < 0) {
        g_report_line[0] = '\0';
    } else if (static_cast<std::size_t>(n) >= sizeof g_report_line) {
        g_report_line[sizeof g_report_line - 3] = '\r';
        g_report_line[sizeof g_report_line - 2] = '\n';
    }
}

}  // namespace

void Report::line(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    format_line(format, args);
    va_end(args);
    sink_->line(g_report_line);
}

void Report::error(const char* what) {
    line("Error: %s\r\n", what);
    ++counts.errors;
}

void Report::summary() {
    std::snprintf(g_report_line, sizeof g_report_line,
                  "Converted files = %d (Total %d tabs, %d dots), Non conv. = %d, Refused = %d\r\n",
                  counts.converted, counts.tabs, counts.dots, counts.non_converted, counts.refused);
    sink_->summary(g_report_line);
}

}  // namespace ravolin
