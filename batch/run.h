// The batch run: tab size, folder, file list, backups, conversion of each
// file from its backup, and the run report in the text slots. It never
// touches a window; whoever started it shows the result text.
#pragma once
#include <atomic>

#include "batch/file_system.h"

namespace ravolin {

struct RunCounts {
    int converted = 0, tabs = 0, dots = 0, non_converted = 0, refused = 0, errors = 0;
};

enum class RunOutcome { kFinished, kCancelled };

// One batch run over text slot 3 with the tab size text of slot 10: clears the
// run log (slot 1), appends one line per file, and on a finished run writes
// the summary and the run log into slot 0 and clears slot 1. A cancelled run
// restores the file it was in the middle of from its backup, writes no
// summary and leaves the run log as it was. Not reentrant: one run at a time.
RunOutcome run_batch(FileSystem& fs, const std::atomic<bool>& cancel, RunCounts* counts = nullptr);

}  // namespace ravolin
