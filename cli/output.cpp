#include "cli/output.h"

#include <cstring>

#include "streams/stdio_streams.h"

namespace ravolin {
namespace {

// The lines about files that were done as asked; the rest (refused,
// skipped, failed, aborted, and any kind added later) always show.
const char* const kFineLabels[] = {"Converted: ", "Non conv.: ", "Restored  : "};

bool is_fine(const char* text) {
    for (const char* label : kFineLabels) {
        if (std::strncmp(text, label, std::strlen(label)) == 0) return true;
    }
    return false;
}

}  // namespace

CliOutput::CliOutput(bool quiet, std::FILE* report_to) : quiet_(quiet), report_to_(report_to) {}

void CliOutput::put_line(std::FILE* f, const char* text, std::size_t n) {
    progress_.clear();
    // Text mode on Windows turns the LF into CR LF.
    if (std::fwrite(text, 1, n, f) != n || std::fputc('\n', f) == EOF || std::fflush(f) != 0) failed_ = true;
}

void CliOutput::line(const char* text) {
    if (quiet_ && is_fine(text)) return;
    std::size_t n = std::strlen(text);
    if (n >= 2 && text[n - 2] == '\r' && text[n - 1] == '\n') n -= 2;
    put_line(report_to_, text, n);
}

void CliOutput::summary(const char* text) {
    if (!quiet_) line(text);
}

void CliOutput::starting(int index, int count, const char* /*name*/) {
    if (list_) progress_.show(index, count, list_->path(index));
}

void CliOutput::print(const char* text) {
    if (!quiet_) put_line(stdout, text, std::strlen(text));
}

void CliOutput::write_raw(const char* data, std::size_t n) {
    progress_.clear();
    if (std::fwrite(data, 1, n, stdout) != n) failed_ = true;
}

}  // namespace ravolin
