// Files the run has taken up, waiting in order until they can be put in
// place. A flush to disk costs about as much for many files as for one, so
// converted files wait in a group that is flushed and then put in place
// together; the flush of one group goes on while the next one fills. A file
// whose outcome is already known (refused, skipped, failed) waits in line
// too, so that the report keeps the files' order. Internal to batch/.
#pragma once
#include "batch/file_system.h"
#include "batch/report.h"
#include "batch/seen_files.h"

namespace ravolin {

enum class Outcome : unsigned char {
    kWaiting,      // converted and checked: to be put in place
    kRefused,      // its backup exists
    kSkipped,      // left alone on purpose; why says why
    kError,        // left as it was; why may add a detail
    kBackupError,  // no backup could be made (error, source)
};

struct Pending {
    // Every member has an initializer so that the run's static groups are
    // zero bytes in the image rather than 270 KB written at every start.
    int entry = 0;                      // in the list
    const char* name = nullptr;         // as listed, in the current folder
    const char* shown_folder = nullptr; // what its report line shows in front of name
    Outcome outcome = Outcome::kWaiting;
    FsError error{};                    // kBackupError: what failed
    bool source = false;                // kBackupError: the file itself could not be read
    char why[kRunPathSize + 64] = {};
    char target[kRunPathSize] = {};     // what the conversion replaces: name, or a link's target
    char converted[kRunPathSize] = {};  // the converted bytes, beside target
    char backup[kRunPathSize] = {};     // the original's copy, beside name
    FileInfo info;                      // the file as it was copied
    int tabs = 0, dots = 0;
};

// NAME.bak; false when it does not fit.
bool backup_name_of(const char* name, char* out);

class Groups {
public:
    void reset(SeenFiles& seen);
    // The slot the next file is taken up into.
    Pending& next();
    // Takes the slot in. Lines nothing waits for are reported now; a full
    // group goes to the disk.
    void add(FileSystem& fs, Report& report);
    // Every file put in place (or given up) and reported.
    void finish(FileSystem& fs, Report& report);
};

}  // namespace ravolin
