#include "window/edit_boxes.h"

#include "window/form_window.h"
#include "window/label_text.h"

namespace ravolin {
namespace {

class WindowEditTexts final : public EditTextSeam {
public:
    void read_text(int row, char* out, std::size_t cap) override {
        if (cap == 0) return;
        out[0] = '\0';  // a missing control or a failed read gives ""
        if (row < 0 || row >= kFormRows || g_item_windows[row] == nullptr) return;
        get_utf8_text(g_item_windows[row], out, cap);
    }
};

}  // namespace

EditTextSeam& window_edit_texts() {
    static WindowEditTexts seam;
    return seam;
}

}  // namespace ravolin
