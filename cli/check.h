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
// unified diff of every change. Every file's outcome goes to report:
// unreadable files get an Error line and skipped ones a Skipped line
// (standard error), a file that would change counts as kChanged. The
// report's last word is report.finish.
void cli_check(FileSystem& fs, const CliFileList& list, const CliOptions& options, CliOutput& out, Report& report,
               const std::atomic<bool>& cancel);

}  // namespace ravolin
