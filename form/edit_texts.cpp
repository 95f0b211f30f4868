#include "form/edit_texts.h"

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

}  // namespace ravolin
