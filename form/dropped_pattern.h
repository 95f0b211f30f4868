// The file pattern made from items dropped on the main window.
#pragma once
#include <cstddef>

#include "base/path_text.h"

namespace ravolin {

struct DroppedItem {
    const char* path;  // full path, as the drop gave it
    bool folder;
};

// The pattern for `count` items of which `first` is the first: one file
// gives that file; one folder gives "FOLDER\*.c"; several items give the
// folder of the first with "*.c". Written into out (cap bytes) only when the
// whole pattern fits: a cut path would name something else. False, and out
// untouched, when nothing was dropped or it does not fit.
bool dropped_pattern(const DroppedItem& first, std::size_t count, const LeadBytes& lead, char* out,
                     std::size_t cap);

}  // namespace ravolin
