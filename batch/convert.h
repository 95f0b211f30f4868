// Conversion of the gathered files of the current folder, each with its
// backup. Internal to batch/.
#pragma once
#include <atomic>

#include "batch/file_system.h"
#include "batch/report.h"

namespace ravolin {

// Converts names[0..count) of the current folder, in that order, with the
// tab size. Stops early when cancel is set.
RunOutcome convert_listed(FileSystem& fs, const char (*names)[kRunPathSize], int count, int tab_size,
                          Report& report, const std::atomic<bool>& cancel);

}  // namespace ravolin
