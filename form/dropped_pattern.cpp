#include "form/dropped_pattern.h"

#include <cstring>

namespace ravolin {

bool dropped_pattern(const DroppedItem& first, std::size_t count, const LeadBytes& lead, char* out,
                     std::size_t cap) {
    if (count == 0) return false;
    const char* path = first.path;
    const std::size_t len = std::strlen(path);
    std::size_t keep = len;   // bytes of the path that start the pattern
    const char* tail = "";    // what follows them
    if (count > 1) {
        keep = after_last_separator(path, lead, Separators::kBackslashAndSlash);
        tail = "*.c";
    } else if (first.folder) {
        // A drive's root already ends in its separator.
        const bool has_end = len > 0 && after_last_separator(path, lead, Separators::kBackslashAndSlash) == len;
        tail = has_end ? "*.c" : "\\*.c";
    }
    const std::size_t tail_len = std::strlen(tail);
    if (keep + tail_len >= cap) return false;
    std::memcpy(out, path, keep);
    std::memcpy(out + keep, tail, tail_len + 1);
    return true;
}

}  // namespace ravolin
