// Conversion of the gathered files, each with its backup. Internal to
// batch/.
#pragma once
#include <atomic>

#include "batch/file_list.h"
#include "batch/file_system.h"
#include "batch/report.h"

namespace ravolin {

// Converts the listed files in their order with the tab size, each in its
// folder; binary files, files met a second time, conversions the check
// rejects and files changed meanwhile are skipped. Stops early when cancel
// is set; the file under way is then left as it was and reported "Aborted".
// encoding: how every file is read; nullptr tells each file's own from its
// bytes.
RunOutcome convert_listed(FileSystem& fs, const FileList& list, int tab_size, const Encoding* encoding,
                          Report& report, const std::atomic<bool>& cancel);

}  // namespace ravolin
