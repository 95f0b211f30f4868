#include "cli/restore.h"

#include <string>

#include "batch/replace.h"

namespace ravolin {
namespace {

// What became of one file, and the words its report line gives.
struct Restore {
    FileOutcome outcome;
    const char* why;
};
constexpr Restore kRestored{FileOutcome::kRestored, ""};
constexpr Restore kNoBackup{FileOutcome::kSkipped, "no backup"};
constexpr Restore kUnreadable{FileOutcome::kError, "backup cannot be read; left as it was"};
constexpr Restore kUntouched{FileOutcome::kError, "cannot be replaced; left as it was"};
constexpr Restore kDamaged{FileOutcome::kError, "written part-way; its backup is kept to restore from"};
constexpr Restore kBackupKept{FileOutcome::kError, "restored, but its backup could not be removed"};

// The backup's bytes put in the file's place the way a run puts its
// conversion there (batch/replace.h): the file is its converted self or its
// original at every moment. The backup goes only once that is done.
Restore put_back(FileSystem& fs, Replacer& replacer, const char* path, const std::string& backup) {
    FileInfo info;
    const FsError there = fs.stat(backup.c_str(), &info);
    if (there == FsError::kNotFound) return kNoBackup;
    if (there != FsError::kNone) return kUnreadable;
    switch (replacer.replace_with_copy(fs, backup.c_str(), path)) {
        case InPlace::kUntouched:
            return kUntouched;
        case InPlace::kDamaged:
            return kDamaged;
        case InPlace::kDone:
            break;
    }
    return fs.remove(backup.c_str()) == FsError::kNone ? kRestored : kBackupKept;
}

}  // namespace

void cli_restore(FileSystem& fs, const CliFileList& list, Report& report, const std::atomic<bool>& cancel) {
    // Its buffers are large: static storage rather than the stack.
    static Replacer replacer;
    const int count = list.count();
    for (int i = 0; i < count && !cancel.load(std::memory_order_relaxed); ++i) {
        report.starting(i, count, list.name(i));
        const Restore r = put_back(fs, replacer, list.path(i), list.path(i) + std::string(".bak"));
        FileEvent e;
        e.outcome = r.outcome;
        e.folder = list.shown_folder(i);
        e.name = list.name(i);
        e.why = r.why;
        report.file(e);
    }
    report.finish(cancel.load());
}

}  // namespace ravolin
