#include "batch/run.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>

#include "base/bounded_text.h"
#include "engine/engine.h"

namespace ravolin {
namespace {

constexpr int kMaxFiles = 500;
constexpr int kReportLineSize = 2010;
constexpr char kBackupSuffix[] = ".bak";
constexpr std::size_t kSuffixLen = sizeof(kBackupSuffix) - 1;

// All of the run's state is static and exists once: there is one worker.
char g_path[kRunPathSize];
char g_file_list[kMaxFiles][kRunPathSize];
int g_file_count = 0;
EngineState g_engine;
// Rebuilt in place for every file; their buffers are large, so not on the stack.
std::optional<TextReader> g_reader;
std::optional<TextWriter> g_writer;
unsigned char g_copy_buffer[1 << 16];
char g_report_line[kReportLineSize];

// Formats the run's report lines and keeps its counts; the one place that
// writes an Error line.
class Report {
public:
    explicit Report(RunSink& sink) : sink_(&sink) {}

    void line(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
    {
        std::va_list args;
        va_start(args, format);
        format_line(format, args);
        va_end(args);
        sink_->line(g_report_line);
    }

    // The file (or pattern) was left as it was, or put back.
    void error(const char* what) {
        line("Error: %s\r\n", what);
        ++counts.errors;
    }

    void summary() {
        std::snprintf(g_report_line, sizeof g_report_line,
                      "Converted files = %d (Total %d tabs, %d dots), Non conv. = %d, Refused = %d\r\n",
                      counts.converted, counts.tabs, counts.dots, counts.non_converted, counts.refused);
        sink_->summary(g_report_line);
    }

    RunCounts counts;

private:
    // A line longer than the report line is cut but keeps its CR LF.
    static void format_line(const char* format, std::va_list args) {
        int n = std::vsnprintf(g_report_line, sizeof g_report_line, format, args);
        if (n < 0) {
            g_report_line[0] = '\0';
        } else if (static_cast<std::size_t>(n) >= sizeof g_report_line) {
            g_report_line[sizeof g_report_line - 3] = '\r';
            g_report_line[sizeof g_report_line - 2] = '\n';
        }
    }

    RunSink* sink_;
};

bool ends_with_backup_suffix(const char* name) {
    std::size_t len = std::strlen(name);
    return len >= kSuffixLen && std::memcmp(name + len - kSuffixLen, kBackupSuffix, kSuffixLen) == 0;
}

bool is_separator(char ch) { return ch == '\\' || ch == '/'; }

// Length of the folder part of wildcard_path, its last separator included; 0 when
// there is none.
std::size_t folder_part_length(const char* wildcard_path, bool drive_letters) {
    std::size_t end = 0;
    for (std::size_t i = 0; wildcard_path[i] != '\0'; ++i) {
        if (is_separator(wildcard_path[i])) end = i + 1;
    }
    const unsigned char first = static_cast<unsigned char>(wildcard_path[0]);
    if (end == 0 && drive_letters && ((first | 0x20) >= 'a' && (first | 0x20) <= 'z') && wildcard_path[1] == ':') {
        end = 2;
    }
    return end;
}

class ListGatherer : public SearchSink {
public:
    explicit ListGatherer(Report& report) : report_(&report) {}
    bool take(const FoundEntry& entry) override {
        if (ends_with_backup_suffix(entry.name) || entry.directory) return true;
        if (!copy_text(g_file_list[g_file_count], kRunPathSize, entry.name)) {
            // A cut name would name another file: leave this one alone.
            report_->error(g_file_list[g_file_count]);
            return true;
        }
        ++g_file_count;
        return g_file_count < kMaxFiles;
    }

private:
    Report* report_;
};

// Puts the backup's bytes back into the file, unchanged.
bool restore_from_backup(FileSystem& fs, const char* backup, const char* name) {
    InFile* in = fs.open_read(backup);
    if (!in) return false;
    InFileCloser in_closer(in);
    OutFile* out = fs.open_write(name);
    if (!out) return false;
    OutFileCloser out_closer(out);
    for (;;) {
        long n = in->read(g_copy_buffer, sizeof g_copy_buffer);
        if (n < 0) return false;
        if (n == 0) break;
        if (!out->write(g_copy_buffer, static_cast<std::size_t>(n))) return false;
    }
    return out_closer.close();
}

enum class FileOutcome { kDone, kCancelled };

FileOutcome convert_one(FileSystem& fs, const std::atomic<bool>& cancel, const char* name,
                        Report& report, long long& total_tabs) {
    RunCounts& c = report.counts;
    if (!copy_text(g_path, kRunPathSize, name) || !append_text(g_path, kRunPathSize, kBackupSuffix)) {
        report.error(name);
        return FileOutcome::kDone;
    }
    const char* backup = g_path;
    switch (fs.copy_new(name, backup, cancel)) {
        case CopyResult::kCopied:
            break;
        case CopyResult::kCancelled:
            return FileOutcome::kCancelled;
        case CopyResult::kFailed:
            report.line("Refused   : %s\r\n", name);
            ++c.refused;
            return FileOutcome::kDone;
    }

    InFile* in = fs.open_read(backup);
    if (!in) {
        report.error(name);
        return FileOutcome::kDone;
    }
    InFileCloser in_closer(in);
    OutFile* out = fs.open_write(name);
    if (!out) {
        report.error(name);
        return FileOutcome::kDone;
    }
    OutFileCloser out_closer(out);

    g_reader.emplace(*in);
    g_writer.emplace(*out);
    g_engine.in = &*g_reader;
    g_engine.out = &*g_writer;
    g_engine.cancel = &cancel;
    const int tabs = convert_file(g_engine);
    const unsigned char* rest;
    const bool whole = g_reader->peek(&rest) == 0;
    if (!whole) {
        // Stopped between pieces by a cancel: the file goes back to what it was.
        out_closer.close();
        in_closer.close();
        restore_from_backup(fs, backup, name);
        return FileOutcome::kCancelled;
    }
    const bool flushed = g_writer->flush();
    const bool written = out_closer.close() && flushed;
    in_closer.close();
    if (g_reader->failed() || !written) {
        // A short file must not pass for a converted one.
        restore_from_backup(fs, backup, name);
        report.error(name);
        return FileOutcome::kDone;
    }
    if (tabs > 0 || g_engine.dots > 0) {
        report.line("Converted: %s(%d tabs, %d dots)\r\n", name, tabs, g_engine.dots);
        ++c.converted;
    } else {
        report.line("Non conv.: %s\r\n", name);
        ++c.non_converted;
    }
    total_tabs += tabs;
    c.dots = c.dots > INT_MAX - g_engine.dots ? INT_MAX : c.dots + g_engine.dots;
    return FileOutcome::kDone;
}

RunOutcome run_files(FileSystem& fs, const RunInput& input, Report& report,
                     const std::atomic<bool>& cancel) {
    g_file_count = 0;
    g_engine.tab_size = parse_tab_size(input.tab_size_text);

    const char* wildcard_path = input.wildcard_path;
    if (!copy_text(g_path, kRunPathSize, wildcard_path)) {
        report.error(wildcard_path);
        return RunOutcome::kFinished;
    }
    const std::size_t folder_len = folder_part_length(wildcard_path, fs.has_drive_letters());
    if (folder_len > 0) {
        g_path[folder_len] = '\0';
        // Searching the old current directory instead would act on files of
        // the same names somewhere else.
        if (!fs.set_current_dir(g_path)) {
            report.error(wildcard_path);
            return RunOutcome::kFinished;
        }
    }
    copy_text(g_path, kRunPathSize, wildcard_path + folder_len);
    ListGatherer gatherer(report);
    fs.search(g_path, gatherer);

    long long total_tabs = 0;
    for (int i = 0; i < g_file_count; ++i) {
        if (cancel.load(std::memory_order_relaxed)) return RunOutcome::kCancelled;
        const FileOutcome r = convert_one(fs, cancel, g_file_list[i], report, total_tabs);
        report.counts.tabs = total_tabs > INT_MAX ? INT_MAX : static_cast<int>(total_tabs);
        if (r == FileOutcome::kCancelled) return RunOutcome::kCancelled;
    }
    return RunOutcome::kFinished;
}

}  // namespace

RunOutcome run_batch(FileSystem& fs, const RunInput& input, RunSink& sink,
                     const std::atomic<bool>& cancel, RunCounts* counts) {
    Report report(sink);
    const RunOutcome outcome = run_files(fs, input, report, cancel);
    if (outcome == RunOutcome::kFinished) report.summary();
    if (counts) *counts = report.counts;
    return outcome;
}

}  // namespace ravolin
