// ravolin-cli's plain run: the window's batch run over the command line's
// list, its report streamed.
#pragma once
#include <atomic>

#include "batch/report.h"
#include "cli/file_list.h"
#include "cli/options.h"

namespace ravolin {

// Converts every listed file, its events to report (which may hold the
// list's gathering already). An interrupted run ends its report with
// "aborted." (the caller gives the signal's status).
void cli_batch(FileSystem& fs, const CliFileList& list, const CliOptions& options, Report& report,
               const std::atomic<bool>& cancel);

}  // namespace ravolin
