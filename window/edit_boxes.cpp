#include "window/edit_boxes.h"

#include "window/form_window.h"

namespace ravolin {
namespace {

class WindowEditTexts final : public EditTextSeam {
public:
    void read_text(int row, char* out, std::size_t cap) override {
        if (cap == 0) return;
        out[0] = '\0';  // a missing control or a failed read gives ""
        if (row < 0 || row >= kFormRows || g_item_windows[row] == nullptr) return;
        const int room = cap > 0x7fffffff ? 0x7fffffff : static_cast<int>(cap);
        GetWindowTextA(g_item_windows[row], out, room);
        out[cap - 1] = '\0';
    }
};

}  // namespace

EditTextSeam& window_edit_texts() {
    static WindowEditTexts seam;
    return seam;
}

}  // namespace ravolin
