#include "batch/report.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/bounded_text.h"

namespace ravolin {
namespace {

constexpr int kReportLineSize = 2010;
char g_report_line[kReportLineSize];
char g_line_rest[kReportLineSize];

// A line cut at the report line's size keeps its CR LF.
void keep_line_end() {
    g_report_line[sizeof g_report_line - 3] = '\r';
    g_report_line[sizeof g_report_line - 2] = '\n';
}

void format_line(const char* format, std::va_list args) {
    int n = std::vsnprintf(g_report_line, sizeof g_report_line, format, args);
    if (n < 0) {
        g_report_line[0] = '\0';
    } else if (static_cast<std::size_t>(n) >= sizeof g_report_line) {
        keep_line_end();
    }
}

// Every line names its file right after its label ("Converted: ",
// "Refused   : ", "Error: ", ...): the folder goes there.
void insert_folder(const char* folder) {
    if (folder[0] == '\0') return;
    char* at = std::strstr(g_report_line, ": ");
    if (!at) return;
    at += 2;
    copy_text(g_line_rest, sizeof g_line_rest, at);
    *at = '\0';
    if (!append_text(g_report_line, sizeof g_report_line, folder) ||
        !append_text(g_report_line, sizeof g_report_line, g_line_rest)) {
        keep_line_end();
    }
}

}  // namespace

void Report::line(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    format_line(format, args);
    va_end(args);
    insert_folder(folder_);
    sink_->line(g_report_line);
}

void Report::error(const char* what, const char* detail) {
    if (detail) {
        line("Error: %s (%s)\r\n", what, detail);
    } else {
        line("Error: %s\r\n", what);
    }
    ++counts.errors;
}

void Report::add_tabs(int tabs) {
    total_tabs_ += tabs;
    counts.tabs = total_tabs_ > INT_MAX ? INT_MAX : static_cast<int>(total_tabs_);
}

void Report::skipped(const char* name, const char* why) {
    line("Skipped   : %s (%s)\r\n", name, why);
    ++counts.skipped;
}

void Report::summary() {
    int n = std::snprintf(g_report_line, sizeof g_report_line,
                          "Converted files = %d (Total %d tabs, %d dots), Non conv. = %d, Refused = %d",
                          counts.converted, counts.tabs, counts.dots, counts.non_converted, counts.refused);
    const std::size_t cap = sizeof g_report_line;
    if (counts.skipped > 0 && n > 0 && static_cast<std::size_t>(n) < cap) {
        n += std::snprintf(g_report_line + n, cap - n, ", Skipped = %d", counts.skipped);
    }
    if (counts.errors > 0 && n > 0 && static_cast<std::size_t>(n) < cap) {
        n += std::snprintf(g_report_line + n, cap - n, ", Errors = %d", counts.errors);
    }
    append_text(g_report_line, cap, "\r\n");
    sink_->summary(g_report_line);
}

}  // namespace ravolin
