#include "settings/shared_data.h"

#include <cstring>

namespace ravolin {

char g_text_slots[kSlotCount][kSlotSize];
std::int32_t g_settings[kSettingCount];

void set_default_data() {
    for (auto& slot : g_text_slots) slot[0] = '\0';
    for (auto& s : g_settings) s = 0;
    copy_text(g_text_slots[kSlotSpecDisplay], kSlotSize, ".\\*.c");
    copy_text(g_text_slots[kSlotSpec], kSlotSize, ".\\*.c");
    copy_text(g_text_slots[kSlotTabSize], kSlotSize, "4");
    copy_text(g_text_slots[20], kSlotSize, "9");
}

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
