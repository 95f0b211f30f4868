// --restore: undoes runs. For each listed file whose NAME.bak exists, the
// backup's bytes are put in the file's place in one step, as a run puts its
// conversion there, and then the backup is removed, so the file is as it was
// before it was converted and a later run may convert it again. A file
// without a backup is reported and left alone.
#pragma once
#include <atomic>

#include "cli/file_list.h"
#include "batch/report.h"

namespace ravolin {

// Report events: kRestored, kSkipped "no backup", kError with why; then
// the summary "Restored files = R" (see batch/report.h). Interrupted between
// files, never in the middle of one.
void cli_restore(FileSystem& fs, const CliFileList& list, Report& report, const std::atomic<bool>& cancel);

}  // namespace ravolin
