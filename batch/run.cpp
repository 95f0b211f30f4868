#include "batch/run.h"

#include <cstring>

#include "base/bounded_text.h"
#include "batch/convert.h"
#include "batch/report.h"
#include "batch/temp_name.h"
#include "engine/engine.h"

namespace ravolin {
namespace {

// All of the run's state is static and exists once: there is one worker.
char g_path[kRunPathSize];
FixedFileList g_file_list;

class ListGatherer : public SearchSink {
public:
    ListGatherer(FileList& list, Report& report) : list_(&list), report_(&report) {}
    bool take(const FoundEntry& entry) override {
        if (is_backup_name(entry.name) || is_temp_name(entry.name) || entry.directory) return true;
        // A cut name would name another file: leave this one alone.
        if (list_->add(entry.name) == AddResult::kTooLong) report_->error(entry.name);
        return !list_->full();
    }

private:
    FileList* list_;
    Report* report_;
};

// The window's way to a file list: the folder part of the wildcard path made
// current, its name part searched there. False when nothing may be searched.
bool search_wildcard_path(FileSystem& fs, const char* wildcard_path, FileList& list, Report& report) {
    if (!copy_text(g_path, kRunPathSize, wildcard_path)) {
        report.error(wildcard_path);
        return false;
    }
    const std::size_t folder_len = folder_part_length(wildcard_path, fs.has_drive_letters(), fs.lead_bytes());
    if (folder_len > 0) {
        g_path[folder_len] = '\0';
        // Searching the old current directory instead would act on files of
        // the same names somewhere else.
        if (!fs.set_current_dir(g_path)) {
            report.error(wildcard_path);
            return false;
        }
    }
    copy_text(g_path, kRunPathSize, wildcard_path + folder_len);
    ListGatherer gatherer(list, report);
    fs.search(g_path, gatherer);
    return true;
}

RunOutcome run_files(FileSystem& fs, const RunInput& input, Report& report,
                     const std::atomic<bool>& cancel) {
    const int tab_size = parse_tab_size(input.tab_size_text);
    report.counts.errors = input.gather_errors;
    const FileList* list = input.files;
    if (!list) {
        g_file_list.clear();
        if (!search_wildcard_path(fs, input.wildcard_path, g_file_list, report)) return RunOutcome::kFinished;
        list = &g_file_list;
    }
    return convert_listed(fs, *list, tab_size, input.encoding, report, cancel);
}

}  // namespace

int gather_files(FileSystem& fs, const char* pattern, FileList& list, RunSink& sink) {
    Report report(sink);
    ListGatherer gatherer(list, report);
    fs.search(pattern, gatherer);
    return report.counts.errors;
}

RunOutcome run_batch(FileSystem& fs, const RunInput& input, RunSink& sink,
                     const std::atomic<bool>& cancel, RunCounts* counts) {
    Report report(sink);
    const RunOutcome outcome = run_files(fs, input, report, cancel);
    if (outcome == RunOutcome::kFinished) report.summary();
    if (counts) *counts = report.counts;
    return outcome;
}

}  // namespace ravolin
