#include "window/settings_glue.h"

#include "window/edit_boxes.h"
#include "settings/settings_file.h"
#include "settings/window_data.h"

namespace ravolin {

void load_settings_file() {
    // A first start (no settings file, or one that ends before the language)
    // speaks the user's language: Japanese for a Japanese user interface,
    // English for any other. A language in the file wins.
    const bool japanese = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
    g_settings[kSettingLanguage] = japanese ? 0 : 1;
    load_settings();
}

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
