// Child controls of the main window, made once from the form table.
#include <cstdio>

#include "base/win32_handle.h"
#include "window/form_window.h"
#include "window/label_text.h"
#include "settings/window_data.h"

namespace ravolin {

HWND g_item_windows[kFormRows];
Cell g_cell{8, 16};  // replaced by measure_cell before anything is laid out
ScrollOrigin g_scroll_origin{0, 0};

namespace {

// A control's window class, spelled for both APIs.
struct ControlClass {
    const char* narrow;
    const wchar_t* wide;
};

const ControlClass* control_class(std::int32_t kind) {
    static const ControlClass kButtonClass{"button", L"button"};
    static const ControlClass kStaticClass{"static", L"static"};
    static const ControlClass kEditClass{"edit", L"edit"};
    // kind          class
    switch (kind) {
        case kKindPushButton:
        case kKindRadioButton:
        case kKindCheckBox:
        case kKindOtherButton: return &kButtonClass;
        case kKindStaticLabel:
        case kKindStaticSlotText:
        case kKindStaticDecimal:
        case kKindStaticHex: return &kStaticClass;
        case kKindEdit: return &kEditClass;
        default: return nullptr;
    }
}

// Labelled controls and edit boxes are Unicode windows, so that labels and
// names can be given as UTF-16; the others keep the ANSI code page.
HWND create_control(int row, const ControlClass& cls, const PixelRect& r, HWND main,
                    HINSTANCE instance) {
    const FormItem& f = kFormTable[row];
    HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(row));
    if (is_labelled_kind(f.kind) || f.kind == kKindEdit) {
        return CreateWindowExW(0, cls.wide, L" ", f.style, r.left, r.top, r.right - r.left,
                               r.bottom - r.top, main, id, instance, nullptr);
    }
    return CreateWindowExA(0, cls.narrow, " ", f.style, r.left, r.top, r.right - r.left,
                           r.bottom - r.top, main, id, instance, nullptr);
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
            if (is_slot_index(f.ref))
                SendMessageA(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(g_text_slots[f.ref]));
            break;
        case kKindEdit:
            if (is_slot_index(f.ref)) set_utf8_text(item, g_text_slots[f.ref]);
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
    const WindowDc dc(main);
    TEXTMETRICA tm{};
    if (dc.get() != nullptr && GetTextMetricsA(dc.get(), &tm)) {
        g_cell = cell_from_metrics(tm.tmAveCharWidth, tm.tmPitchAndFamily, tm.tmHeight,
                                   tm.tmExternalLeading);
    }
}

PixelRect item_rect(int row) {
    const FormItem& f = kFormTable[row];
    return item_rect(f.left, f.top, f.right, f.bottom, g_cell, g_scroll_origin);
}

void create_items(HWND main, HINSTANCE instance) {
    for (int row = 0; row < kFormRows; ++row) {
        const ControlClass* cls = control_class(kFormTable[row].kind);
        if (cls == nullptr) continue;
        HWND item = create_control(row, *cls, item_rect(row), main, instance);
        g_item_windows[row] = item;
        if (item != nullptr) set_initial_state(row, item);
    }
}

void relabel_items() {
    const int language = g_settings[kSettingLanguage];
    for (int row = 0; row < kFormRows; ++row) {
        if (!is_labelled_kind(kFormTable[row].kind) || g_item_windows[row] == nullptr) continue;
        set_label(g_item_windows[row], item_label(row, language));
    }
}

namespace {

// The work areas of the monitors there are, up to a fixed number.
struct WorkAreas {
    PixelRect area[16];
    std::size_t count = 0;
};

BOOL CALLBACK add_work_area(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    WorkAreas& w = *reinterpret_cast<WorkAreas*>(data);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(monitor, &info)) {
        const RECT& r = info.rcWork;
        w.area[w.count++] = PixelRect{r.left, r.top, r.right, r.bottom};
    }
    return w.count < sizeof w.area / sizeof w.area[0];
}

}  // namespace

void restore_window_rect(HWND main) {
    const std::int32_t l = g_settings[kSettingLeft], t = g_settings[kSettingTop];
    const std::int32_t r = g_settings[kSettingRight], b = g_settings[kSettingBottom];
    if (!saved_rect_usable(l, t, r, b)) return;
    // A rectangle saved on a monitor that is gone would put the window out
    // of reach at every start (and be saved again): it moves onto the
    // nearest monitor, as the system does for a placement it restores.
    WorkAreas areas;
    EnumDisplayMonitors(nullptr, nullptr, add_work_area, reinterpret_cast<LPARAM>(&areas));
    const RECT saved{l, t, r, b};
    MONITORINFO nearest{};
    nearest.cbSize = sizeof nearest;
    GetMonitorInfoA(MonitorFromRect(&saved, MONITOR_DEFAULTTONEAREST), &nearest);
    const RECT& n = nearest.rcWork;
    const std::int32_t title = GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION);
    const PixelRect p = reachable_window_rect(PixelRect{l, t, r, b}, areas.area, areas.count,
                                              PixelRect{n.left, n.top, n.right, n.bottom}, title);
    MoveWindow(main, p.left, p.top, p.right - p.left, p.bottom - p.top, TRUE);
}

}  // namespace ravolin
