// ravolin-cli's report: each line printed as soon as the run gives it, with
// the platform's line ends, and flushed, so a long run shows its progress
// and an interrupted one leaves everything said so far. Nothing is kept, so
// nothing is ever cut.
#pragma once
#include <cstdio>
#include <vector>

#include "cli/file_list.h"
#include "cli/progress.h"
#include "batch/report.h"

namespace ravolin {

class CliOutput final : public RunSink {
public:
    // quiet: only the lines that make the exit status non-zero. Report lines
    // go to report_to (standard error where standard output carries a list
    // or a diff).
    CliOutput(bool quiet, std::FILE* report_to);

    // The list whose entries starting() names on the progress line.
    void set_list(const CliFileList* list) { list_ = list; }

    // Each event's line, and the summary (or "aborted.") last.
    void file(const FileEvent& event) override;
    void summary(const RunCounts& counts) override;
    void starting(int index, int count, const char* name) override;

    // One line of the command's own output on standard output (a name that
    // --check lists); text has no line end.
    void print(const char* text);
    // Bytes as they are on standard output (a diff).
    void write_raw(const char* data, std::size_t n);

    // True when standard output or the report could not be written.
    bool failed() const { return failed_; }
    // Takes the progress line away.
    void end() { progress_.clear(); }

private:
    void put_line(std::FILE* f, const char* text, std::size_t n);
    // A formatted line (ending in CR LF) of length n in line_ to the report.
    void put_report_line(std::size_t n);

    bool quiet_;
    std::FILE* report_to_;
    const CliFileList* list_ = nullptr;
    Progress progress_;
    bool failed_ = false;
    std::vector<char> line_ = std::vector<char>(2048);  // grows: no line is ever cut
};

}  // namespace ravolin
