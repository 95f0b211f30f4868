#include "batch/run_log.h"

#include <cstdio>
#include <cstring>

#include "base/bounded_text.h"
#include "batch/file_list.h"

namespace ravolin {
namespace {

// The summary line with seven counts of at most 11 characters each (skipped
// and errors only when not 0) is 167 characters, the line on files left out
// at most 110; the log leaves this much of the result text for them.
constexpr std::size_t kSummaryRoom = 176 + 112;
constexpr char kLeftOut[] = "Left out  : %d more files (a window run takes %d; ravolin-cli has no such limit)\r\n";
constexpr std::size_t kMarkerLen = sizeof(kLogTruncated) - 1;

}  // namespace

ReportBuffers::ReportBuffers(char* result, char* log, std::size_t cap)
    : result_(result), log_(log), cap_(cap) {
    log_[0] = '\0';
}

void ReportBuffers::file(const FileEvent& event) {
    if (truncated_) return;
    format_file_line(event, line_, sizeof line_);
    const char* text = line_;
    const std::size_t len = std::strlen(text);
    // Longest run log: the summary and the marker still fit behind it.
    const std::size_t limit = cap_ - 1 - kSummaryRoom - kMarkerLen;
    if (used_ + len > limit) {
        append_text(log_, cap_, kLogTruncated);
        truncated_ = true;
        return;
    }
    std::memcpy(log_ + used_, text, len + 1);
    used_ += len;
}

void ReportBuffers::summary(const RunCounts& counts) {
    if (counts.cancelled) return;
    format_summary(counts, line_, sizeof line_);
    copy_text(result_, cap_, line_);
    // Otherwise nothing would tell that these files were never looked at.
    if (counts.left_out > 0) {
        std::snprintf(line_, sizeof line_, kLeftOut, counts.left_out, FixedFileList::kMaxFiles);
        append_text(result_, cap_, line_);
    }
    append_text(result_, cap_, log_);
    log_[0] = '\0';
    used_ = 0;
    truncated_ = false;
}

}  // namespace ravolin
