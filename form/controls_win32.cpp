// Child controls of the main window, made once from the form table.
#include <cstdio>

#include "form/form_win32.h"
#include "settings/shared_data.h"

namespace ravolin {

HWND g_item_windows[kFormRows];
Cell g_cell{8, 16};  // replaced by measure_cell before anything is laid out
ScrollOrigin g_scroll_origin{0, 0};

namespace {

const char* control_class(std::int32_t kind) {
    // kind          class
    switch (kind) {
        case kKindPushButton:
        case kKindRadioButton:
        case kKindCheckBox:
        case kKindOtherButton: return "button";
        case kKindStaticLabel:
        case kKindStaticSlotText:
        case kKindStaticDecimal:
        case kKindStaticHex: return "static";
        case kKindEdit: return "edit";
        default: return nullptr;
    }
}

// Check state, text and enabled state of a freshly made control.
void set_initial_state(int row, HWND item) {
    const FormItem& f = kFormTable[row];
    char number[50];
    switch (f.kind) {
        case kKindRadioButton:
            if (is_setting_index(f.ref) && g_settings[f.ref] == row - f.aux)
                SendMessageA(item, BM_SETCHECK, BST_CHECKED, 0);
            break;
        case kKindCheckBox:
            if (is_setting_index(f.ref) && g_settings[f.ref] != 0)
                SendMessageA(item, BM_SETCHECK, BST_CHECKED, 0);
            break;
        case kKindStaticSlotText:
        case kKindEdit:
            if (is_slot_index(f.ref))
                SendMessageA(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(g_text_slots[f.ref]));
            break;
        case kKindStaticDecimal:
        case kKindStaticHex:
            if (is_setting_index(f.ref)) {
                if (f.kind == kKindStaticHex)
                    std::snprintf(number, sizeof number, "%x", static_cast<unsigned>(g_settings[f.ref]));
                else
                    std::snprintf(number, sizeof number, "%d", static_cast<int>(g_settings[f.ref]));
                SendMessageA(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(number));
            }
            break;
        default:
            break;  // buttons and static labels get their text from relabel_items
    }
    if (f.kind != kKindRadioButton && f.aux == kAuxStartsDisabled) EnableWindow(item, FALSE);
}

}  // namespace

void measure_cell(HWND main) {
    HDC dc = GetDC(main);
    TEXTMETRICA tm{};
    if (dc != nullptr && GetTextMetricsA(dc, &tm)) {
        g_cell = cell_from_metrics(tm.tmAveCharWidth, tm.tmPitchAndFamily, tm.tmHeight,
                                   tm.tmExternalLeading);
    }
    if (dc != nullptr) ReleaseDC(main, dc);
}

PixelRect item_rect(int row) {
    const FormItem& f = kFormTable[row];
    return item_rect(f.left, f.top, f.right, f.bottom, g_cell, g_scroll_origin);
}

void create_items(HWND main, HINSTANCE instance) {
    for (int row = 0; row < kFormRows; ++row) {
        const char* cls = control_class(kFormTable[row].kind);
        if (cls == nullptr) continue;
        PixelRect r = item_rect(row);
        HWND item = CreateWindowExA(0, cls, " ", kFormTable[row].style, r.left, r.top,
                                    r.right - r.left, r.bottom - r.top, main,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(row)), instance,
                                    nullptr);
        g_item_windows[row] = item;
        if (item != nullptr) set_initial_state(row, item);
    }
}

void relabel_items() {
    const int language = g_settings[kSettingLanguage];
    for (int row = 0; row < kFormRows; ++row) {
        if (!is_labelled_kind(kFormTable[row].kind) || g_item_windows[row] == nullptr) continue;
        SendMessageA(g_item_windows[row], WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(item_label(row, language)));
    }
}

void restore_window_rect(HWND main) {
    const std::int32_t l = g_settings[kSettingLeft], t = g_settings[kSettingTop];
    const std::int32_t r = g_settings[kSettingRight], b = g_settings[kSettingBottom];
    if (!saved_rect_usable(l, t, r, b)) return;
    MoveWindow(main, l, t, r - l, b - t, TRUE);
}

}  // namespace ravolin
