#include "settings/window_data.h"

#include <cstring>

#include "base/bounded_text.h"

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

}  // namespace ravolin
