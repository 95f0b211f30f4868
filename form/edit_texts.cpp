#include "form/edit_texts.h"

#include <cstdlib>

#include "form/form_table.h"
#include "settings/window_data.h"

namespace ravolin {

void collect_edit_texts(EditTextSeam& edits) {
    for (int row = 0; row < kFormRows; ++row) {
        const FormItem& item = kFormTable[row];
        if (item.kind != kKindEdit || !is_slot_index(item.ref)) continue;
        char* slot = g_text_slots[item.ref];
        slot[0] = '\0';
        edits.read_text(row, slot, kSlotSize);
        slot[kSlotSize - 1] = '\0';
    }
}

int tab_size_of_box(const char* text) {
    const long v = std::strtol(text, nullptr, 10);
    if (v < 1) return 1;
    if (v > 40) return 40;
    return static_cast<int>(v);
}

}  // namespace ravolin
