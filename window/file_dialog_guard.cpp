#include "window/file_dialog_guard.h"

#include <commdlg.h>

#include "form/form_table.h"
#include "settings/window_data.h"
#include "window/label_text.h"

namespace ravolin {
namespace {

// The name field: a combo box in the explorer-style dialog, an edit box in
// the older one.
constexpr int kNameCombo = 0x47C;
constexpr int kNameEdit = 0x480;

// One dialog at a time: it is modal to the main window.
WNDPROC g_dialog_proc = nullptr;
bool g_dialog_wide = false;

bool is_absolute(const wchar_t* name) {
    return (name[0] != L'\0' && name[1] == L':') || name[0] == L'\\' || name[0] == L'/';
}

// True when the dialog would put more than MAX_PATH - 1 characters together
// from the folder shown and a typed name relative to it: it faults there. A
// typed full path is not put together with anything, and the wide dialog
// takes it whole, past MAX_PATH too.
bool typed_name_too_long(HWND dialog) {
    HWND field = GetDlgItem(dialog, kNameCombo);
    if (field == nullptr) field = GetDlgItem(dialog, kNameEdit);
    if (field == nullptr) return false;
    const int typed = GetWindowTextLengthW(field);
    if (typed <= 0) return false;
    wchar_t head[3] = L"";
    GetWindowTextW(field, head, 3);
    if (is_absolute(head)) return false;
    // The folder's length with its NUL, which stands for the separator.
    const LRESULT folder = SendMessageW(dialog, CDM_GETFOLDERPATH, 0, 0);
    return typed + (folder > 0 ? folder : 0) >= MAX_PATH;
}

LRESULT CALLBACK guarded_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    // Open, by its button or by Enter in the name field.
    if (message == WM_COMMAND && LOWORD(wparam) == IDOK && HIWORD(wparam) == BN_CLICKED &&
        typed_name_too_long(dialog)) {
        label_message_box(dialog, message_text(kMsgNameTooLong, g_settings[kSettingLanguage]), "Input Files",
                          MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    return g_dialog_wide ? CallWindowProcW(g_dialog_proc, dialog, message, wparam, lparam)
                         : CallWindowProcA(g_dialog_proc, dialog, message, wparam, lparam);
}

}  // namespace

UINT_PTR CALLBACK file_dialog_hook(HWND child, UINT message, WPARAM /*wparam*/, LPARAM lparam) {
    if (message != WM_NOTIFY || reinterpret_cast<const NMHDR*>(lparam)->code != CDN_INITDONE) return 0;
    // The hook sees the dialog's own child; the Open command goes to its parent.
    HWND dialog = GetParent(child);
    const auto proc = reinterpret_cast<LONG_PTR>(&guarded_dialog_proc);
    g_dialog_wide = IsWindowUnicode(dialog) != FALSE;
    g_dialog_proc = reinterpret_cast<WNDPROC>(g_dialog_wide ? SetWindowLongPtrW(dialog, GWLP_WNDPROC, proc)
                                                            : SetWindowLongPtrA(dialog, GWLP_WNDPROC, proc));
    return 0;
}

}  // namespace ravolin
