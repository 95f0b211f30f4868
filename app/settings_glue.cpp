#include "app/settings_glue.h"

#include "form/edit_texts_win32.h"
#include "settings/settings_file.h"

namespace ravolin {

void load_settings_file() { load_settings(); }

void save_settings_file(HWND main) {
    if (settings_path()[0] == '\0') return;
    collect_edit_texts(window_edit_texts());
    RECT r;
    if (GetWindowRect(main, &r)) {
        const WindowRect rect{r.left, r.top, r.right, r.bottom};
        save_settings(&rect);
    } else {
        save_settings(nullptr);
    }
}

}  // namespace ravolin
