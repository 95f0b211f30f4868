// From the command line's FILE, PATTERN and FOLDER arguments to the list of
// files: each argument's folder part (up to its last '/' or '\\') names the
// folder, the rest is matched there with '*' and '?' through the batch
// run's own search, so names match as in the window. A folder alone, or an
// argument ending in a separator, stands for FOLDER/*.c. With recursive the
// name is matched in every folder below as well: depth first, a folder's
// files before its subfolders, subfolders in byte order; links to folders
// are not followed and version control folders are skipped.
#pragma once
#include <atomic>

#include "cli/file_list.h"
#include "cli/options.h"
#include "batch/run.h"

namespace ravolin {

#ifdef _WIN32
#define RAVOLIN_DEFAULT_PATTERN ".\\*.c"
#else
#define RAVOLIN_DEFAULT_PATTERN "./*.c"
#endif

// Fills list from options.operands (RAVOLIN_DEFAULT_PATTERN when there are
// none). A folder that cannot be read, or a FILE (no wildcard) that matches
// nothing, gets an Error event ("Error: ARG (why)") in report. Stops early
// when cancel is set. Relative arguments are read from the current
// directory, which nothing changes.
void gather_arguments(FileSystem& fs, const CliOptions& options, CliFileList& list, Report& report,
                      const std::atomic<bool>& cancel);

}  // namespace ravolin
