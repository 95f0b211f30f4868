// --restore: undoes runs. For each listed file whose NAME.bak exists, the
// backup's bytes are put in the file's place in one step, as a run puts its
// conversion there, and then the backup is removed, so the file is as it was
// before it was converted and a later run may convert it again. A file
// without a backup is reported and left alone, and so is one whose text was
// edited since it was converted (unless forced): only a difference in layout
// is undone.
#pragma once
#include <atomic>

#include "cli/file_list.h"
#include "cli/options.h"
#include "batch/report.h"

namespace ravolin {

// Report events: kRestored; kSkipped "no backup", "backup is the same
// file", "backup is not a regular file", "edited since it was converted";
// kError with why; then the summary "Restored files = R" (see
// batch/report.h). What a killed process of ours left in a folder is
// cleaned up (and its unfinished work finished) before the folder's files
// are restored. Interrupted between files, never in the middle of one.
void cli_restore(FileSystem& fs, const CliFileList& list, const CliOptions& options, Report& report,
                 const std::atomic<bool>& cancel);

}  // namespace ravolin
