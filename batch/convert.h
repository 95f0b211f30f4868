// Conversion of the gathered files, each with its backup. Internal to
// batch/.
#pragma once
#include <atomic>

#include "batch/file_list.h"
#include "batch/file_system.h"
#include "batch/report.h"

namespace ravolin {

// Converts the listed files in their order with the tab size, each in its
// folder, reading them in encoding (nullptr: code page 932). Stops early when cancel is set; the file under way is then left
// as it was and reported "Aborted".
RunOutcome convert_listed(FileSystem& fs, const FileList& list, int tab_size, const Encoding* encoding,
                          Report& report, const std::atomic<bool>& cancel);

}  // namespace ravolin
