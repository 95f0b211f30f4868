#include "cli/restore.h"

#include <cstdio>
#include <string>

#include "batch/replace.h"

namespace ravolin {
namespace {

enum class Restore { kRestored, kNoBackup, kNoFolder, kUnreadable, kUntouched, kDamaged, kBackupKept };

// The report line of each outcome: label, the file's name, the reason.
struct RestoreText {
    const char* label;
    const char* why;
};
const RestoreText kTexts[] = {
    {"Restored  : ", ""},
    {"Skipped   : ", " (no backup)"},
    {"Error: ", " (its folder cannot be entered)"},
    {"Error: ", " (backup cannot be read; left as it was)"},
    {"Error: ", " (cannot be replaced; left as it was)"},
    {"Error: ", " (written part-way; its backup is kept to restore from)"},
    {"Error: ", " (restored, but its backup could not be removed)"},
};

// The backup's bytes put in the file's place the way a run puts its
// conversion there (batch/replace.h): the file is its converted self or its
// original at every moment. The backup goes only once that is done.
Restore put_back(FileSystem& fs, const char* name, const std::string& backup) {
    FileInfo info;
    const FsError there = fs.stat(backup.c_str(), &info);
    if (there == FsError::kNotFound) return Restore::kNoBackup;
    if (there != FsError::kNone) return Restore::kUnreadable;
    switch (replace_with_copy(fs, backup.c_str(), name)) {
        case InPlace::kUntouched:
            return Restore::kUntouched;
        case InPlace::kDamaged:
            return Restore::kDamaged;
        case InPlace::kDone:
            break;
    }
    return fs.remove(backup.c_str()) == FsError::kNone ? Restore::kRestored : Restore::kBackupKept;
}

}  // namespace

int cli_restore(FileSystem& fs, const CliFileList& list, int gather_errors, CliOutput& out,
                const std::atomic<bool>& cancel) {
    int restored = 0, skipped = 0, errors = gather_errors;
    ListedFolder folder;
    const int count = list.count();
    for (int i = 0; i < count && !cancel.load(std::memory_order_relaxed); ++i) {
        out.starting(i, count, list.name(i));
        const std::string shown = list.shown_folder(i) + std::string(list.name(i));
        const Restore r = folder.enter(fs, list.folder(i))
                              ? put_back(fs, list.name(i), list.name(i) + std::string(".bak"))
                              : Restore::kNoFolder;
        const RestoreText& text = kTexts[static_cast<int>(r)];
        const std::string line = text.label + shown + text.why + "\r\n";
        out.line(line.c_str());
        int& counter = r == Restore::kRestored ? restored : r == Restore::kNoBackup ? skipped : errors;
        ++counter;
    }
    if (cancel.load()) {
        out.line("aborted.\r\n");
        return 1;
    }
    char summary[96];
    int n = std::snprintf(summary, sizeof summary, "Restored files = %d", restored);
    if (skipped > 0) n += std::snprintf(summary + n, sizeof summary - n, ", Skipped = %d", skipped);
    if (errors > 0) n += std::snprintf(summary + n, sizeof summary - n, ", Errors = %d", errors);
    std::snprintf(summary + n, sizeof summary - n, "\r\n");
    out.summary(summary);
    return skipped == 0 && errors == 0 ? 0 : 1;
}

}  // namespace ravolin
