// ravolin-cli's plain run: the window's batch run over the command line's
// list, its report streamed.
#pragma once
#include <atomic>

#include "cli/file_list.h"
#include "cli/options.h"
#include "cli/output.h"

namespace ravolin {

// Converts every listed file; gather_errors is the number of Error lines
// the list's gathering printed. Returns the exit status: 0 when every file
// was converted or had nothing to convert, 1 otherwise; an interrupted run
// ends its report with "aborted." (the caller gives the signal's status).
int cli_batch(FileSystem& fs, const CliFileList& list, int gather_errors, const CliOptions& options,
              CliOutput& out, const std::atomic<bool>& cancel);

}  // namespace ravolin
