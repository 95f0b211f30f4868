#include "app/cli_restore.h"

#include <cstdio>
#include <string>

#include "app/cli_folders.h"

namespace ravolin {
namespace {

enum class Restore { kRestored, kNoBackup, kNoFolder, kUnreadable, kNotWritten, kBackupKept };

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
    {"Error: ", " (cannot be written; its backup is kept to restore from)"},
    {"Error: ", " (restored, but its backup could not be removed)"},
};

// The backup's bytes written over the file where it is: through a symbolic
// link into its target, and into the one file that all its hard links
// share. The backup goes only once every byte is back, so a failure part-way
// leaves it to restore from again.
Restore put_back(FileSystem& fs, const char* name, const std::string& backup) {
    InFile* in = fs.open_read(backup.c_str());
    if (!in) return is_file(backup.c_str()) ? Restore::kUnreadable : Restore::kNoBackup;
    InFileCloser in_closer(in);
    OutFile* out = fs.open_write(name);
    if (!out) return Restore::kNotWritten;
    OutFileCloser out_closer(out);
    static unsigned char buffer[1 << 16];
    for (;;) {
        const long n = in->read(buffer, sizeof buffer);
        if (n < 0) return Restore::kNotWritten;
        if (n == 0) break;
        if (!out->write(buffer, static_cast<std::size_t>(n))) return Restore::kNotWritten;
    }
    if (!out_closer.close()) return Restore::kNotWritten;
    in_closer.close();
    return std::remove(backup.c_str()) == 0 ? Restore::kRestored : Restore::kBackupKept;
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
