#include "batch/run.h"

#include <cstring>

#include "base/bounded_text.h"
#include "batch/convert.h"
#include "batch/report.h"
#include "engine/engine.h"

namespace ravolin {
namespace {

constexpr int kMaxFiles = 500;
constexpr char kBackupSuffix[] = ".bak";
constexpr std::size_t kSuffixLen = sizeof(kBackupSuffix) - 1;

// All of the run's state is static and exists once: there is one worker.
char g_path[kRunPathSize];
char g_file_list[kMaxFiles][kRunPathSize];
int g_file_count = 0;

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

RunOutcome run_files(FileSystem& fs, const RunInput& input, Report& report,
                     const std::atomic<bool>& cancel) {
    g_file_count = 0;
    const int tab_size = parse_tab_size(input.tab_size_text);

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

    return convert_listed(fs, g_file_list, g_file_count, tab_size, report, cancel);
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
