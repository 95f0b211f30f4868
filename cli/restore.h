// --restore: undoes runs. For each listed file whose NAME.bak exists, the
// backup's bytes are put in the file's place in one step, as a run puts its
// conversion there, and then the backup is removed, so the file is as it was
// before it was converted and a later run may convert it again. A file
// without a backup is reported and left alone.
#pragma once
#include <atomic>

#include "cli/file_list.h"
#include "cli/output.h"

namespace ravolin {

// Report lines: "Restored  : NAME", "Skipped   : NAME (no backup)",
// "Error: NAME (why)", then "Restored files = R" with ", Skipped = S" and
// ", Errors = E" when they are not 0. Returns 0 when every file was
// restored, 1 otherwise (also when interrupted: between files, never in the
// middle of one).
int cli_restore(FileSystem& fs, const CliFileList& list, int gather_errors, CliOutput& out,
                const std::atomic<bool>& cancel);

}  // namespace ravolin
