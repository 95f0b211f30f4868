#include "cli/output.h"

#include <cstring>

#include "cli/terminal.h"
#include "streams/stdio_streams.h"

namespace ravolin {

CliOutput::CliOutput(bool quiet, std::FILE* report_to) : quiet_(quiet), report_to_(report_to) {}

void CliOutput::put_line(std::FILE* f, const char* text, std::size_t n) {
    progress_.clear();
    // Text mode on Windows turns the LF into CR LF.
    if (!write_text(f, text, n) || !write_text(f, "\n", 1) || std::fflush(f) != 0) failed_ = true;
}

void CliOutput::put_report_line(std::size_t n) {
    if (n >= 2) put_line(report_to_, line_.data(), n - 2);  // without its CR LF
}

void CliOutput::file(const FileEvent& event) {
    // Quiet: only the lines that make the exit status non-zero.
    if (quiet_ && is_as_asked(event.outcome)) return;
    std::size_t n = format_file_line(event, line_.data(), line_.size());
    if (n >= line_.size()) {
        line_.resize(n + 1);
        n = format_file_line(event, line_.data(), line_.size());
    }
    put_report_line(n);
}

void CliOutput::summary(const RunCounts& counts) {
    // The word that the run was cut short always shows.
    if (quiet_ && !counts.cancelled) return;
    put_report_line(format_summary(counts, line_.data(), line_.size()));
}

void CliOutput::starting(int index, int count, const char* /*name*/) {
    if (list_) progress_.show(index, count, list_->shown_path(index));
}

void CliOutput::print(const char* text) {
    if (!quiet_) put_line(stdout, text, std::strlen(text));
}

void CliOutput::write_raw(const char* data, std::size_t n) {
    progress_.clear();
    if (std::fwrite(data, 1, n, stdout) != n) failed_ = true;
}

}  // namespace ravolin
