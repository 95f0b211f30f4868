#include "base/bounded_text.h"

#include <cstring>

namespace ravolin {

bool copy_text(char* dst, std::size_t cap, const char* src) {
    if (cap == 0) return false;
    std::size_t n = std::strlen(src);
    bool fits = n < cap;
    if (!fits) n = cap - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return fits;
}

bool append_text(char* dst, std::size_t cap, const char* src) {
    if (cap == 0) return false;
    std::size_t used = strnlen(dst, cap);
    if (used == cap) {  // not terminated within cap: terminate, append nothing
        dst[cap - 1] = '\0';
        return false;
    }
    return copy_text(dst + used, cap - used, src);
}

}  // namespace ravolin
