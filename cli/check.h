// --check and --diff: every listed file converted in memory, by the same
// engine and text rules as a run, and compared with what it holds. Nothing
// is written and no backup made, so they are cheap enough for every commit.
// A file's backup does not matter here: the question is whether the text is
// in converted form. A file a run would skip (met again, binary, or one whose
// conversion the check rejects) is skipped the same way, never listed.
#pragma once
#include <atomic>

#include "cli/file_list.h"
#include "cli/options.h"
#include "cli/output.h"

namespace ravolin {

// --check prints the path of each file that would change; --diff prints a
// unified diff of every change. Unreadable files get an Error line and
// skipped ones a Skipped line in the report (standard error). Returns 0 when
// nothing would change, nothing was skipped and all was read, 1 otherwise
// (also when interrupted).
int cli_check(FileSystem& fs, const CliFileList& list, int gather_errors, const CliOptions& options,
              CliOutput& out, const std::atomic<bool>& cancel);

}  // namespace ravolin
