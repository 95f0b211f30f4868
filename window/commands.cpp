// The button commands of the main window: language, default size, the
// open-file dialog, Execute, Exit and Abort, and the two control states.
#include "window/commands.h"

#include <commdlg.h>
#include <shellapi.h>

#include <string>

#include "base/bounded_text.h"
#include "form/dropped_pattern.h"
#include "window/edit_boxes.h"
#include "window/file_dialog_guard.h"
#include "window/form_window.h"
#include "window/label_text.h"
#include "settings/window_data.h"

namespace ravolin {

namespace {

// Which controls a run locks, and how.
struct StateRow {
    int row;
    BOOL idle_enabled;
    BOOL running_enabled;
};
const StateRow kStateRows[] = {
    // row              idle   running
    {kRowInputFiles,    TRUE,  FALSE},
    {kRowTabSize,       TRUE,  FALSE},
    {kRowExecute,       TRUE,  FALSE},
    {kRowExit,          TRUE,  FALSE},
    {kRowAbort,         FALSE, TRUE},
};

// Empties the result text and the result box. While a run is under way the
// worker owns text slot 0 (it writes the report there when it ends), so only
// the box is emptied then; the slot follows at the run's end anyway.
void empty_result_box(const RunControl& runs) {
    if (!runs.run_under_way()) g_text_slots[kSlotResult][0] = '\0';
    SetWindowTextW(g_item_windows[kRowResult], L"");
}

// The wrapped display of a file pattern (UTF-8). A pattern the ANSI code
// page holds is wrapped in that code page's bytes, a double-byte character
// counting two, as it always was; any other is wrapped in its UTF-8 bytes,
// whose multi-byte characters hold no backslash either.
void wrap_pattern_display(const char* name, char* display, std::size_t cap) {
    const std::wstring wide = wide_of(name);
    BOOL lost = FALSE;
    char ansi[kDialogNameSize];
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, ansi, sizeof ansi, nullptr,
                                      &lost);
    if (n > 0 && !lost) {
        char wrapped[kDialogNameSize];
        wrap_display(ansi, system_lead_bytes(), wrapped, sizeof wrapped);
        wchar_t back[kDialogNameSize];
        if (MultiByteToWideChar(CP_ACP, 0, wrapped, -1, back, kDialogNameSize) > 0 &&
            copy_text(display, cap, utf8_of(back).c_str()))
            return;
    }
    wrap_display(name, kNoLeadBytes, display, cap);
}

// A chosen file pattern (from the dialog or a drop, UTF-8) into its text
// slot, and its wrapped display into the slot the form paints.
void set_file_pattern(const char* name) {
    char display[kDialogNameSize * 2];
    copy_text(g_text_slots[kSlotSpec], kSlotSize, name);
    wrap_pattern_display(name, display, sizeof display);
    const std::int32_t shown = kFormTable[kRowInputFiles].ref;
    if (is_slot_index(shown)) copy_text(g_text_slots[shown], kSlotSize, display);
}

// The dialog structure of the 32-bit program is the full 88-byte one.
static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAMEW) == 88, "OPENFILENAMEW size");

void choose_input_files(HWND main) {
    // Bounded buffers: the name the dialog starts from and returns, and its
    // title (unused afterwards).
    wchar_t name[kDialogNameSize];
    wchar_t title[256] = L"";
    static const wchar_t kFilter[] = L"*.*\0\0";  // one entry "*.*" with an empty pattern
    char initial[kDialogNameSize * 3];
    initial_dialog_name(g_text_slots[kSlotSpec], kNoLeadBytes, initial, sizeof initial);
    const std::wstring wide = wide_of(initial);
    // A name too long for the dialog's buffer is cut, as the bytes were.
    const std::size_t n = wide.size() < kDialogNameSize - 1 ? wide.size() : kDialogNameSize - 1;
    wide.copy(name, n);
    name[n] = L'\0';

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = main;
    ofn.lpstrFilter = kFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name;
    ofn.nMaxFile = kDialogNameSize;
    ofn.lpstrFileTitle = title;
    ofn.nMaxFileTitle = 249;
    // The hook refuses a typed name too long for the dialog itself.
    ofn.Flags = OFN_HIDEREADONLY | OFN_NOVALIDATE | OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING;
    ofn.lpfnHook = file_dialog_hook;
    if (!GetOpenFileNameW(&ofn)) return;
    name[kDialogNameSize - 1] = L'\0';
    set_file_pattern(utf8_of(name).c_str());
}

void execute(HWND main, RunControl& runs) {
    collect_edit_texts(window_edit_texts());
    g_text_slots[kSlotRunLog][0] = '\0';
    if (runs.start_run(main)) enter_running_state();
}

bool confirmed(HWND main, int message, const char* caption) {
    const char* text = message_text(message, g_settings[kSettingLanguage]);
    return label_message_box(main, text, caption, MB_YESNO) == IDYES;
}

}  // namespace

void show_run_report() { set_utf8_text(g_item_windows[kRowResult], g_text_slots[kSlotResult]); }

void enter_running_state() {
    for (const StateRow& s : kStateRows) EnableWindow(g_item_windows[s.row], s.running_enabled);
}

void enter_idle_state() {
    for (const StateRow& s : kStateRows) EnableWindow(g_item_windows[s.row], s.idle_enabled);
}

LRESULT handle_command(HWND main, WPARAM wparam, RunControl& runs) {
    // Only button clicks: every notification of the edit boxes is dropped.
    if (HIWORD(wparam) != 0) return 0;
    const int id = LOWORD(wparam);
    switch (id) {
        case kRowLanguage:
            g_settings[kSettingLanguage] = toggle_language(g_settings[kSettingLanguage]);
            relabel_items();
            break;
        case kRowDefaultSize: {
            const PixelSize s = default_window_size(g_cell);
            SetWindowPos(main, HWND_TOP, 0, 0, s.width, s.height, SWP_NOMOVE | SWP_NOOWNERZORDER);
            break;
        }
        case kRowInputFiles:
            // The worker reads the file pattern during a run.
            if (!runs.run_under_way()) choose_input_files(main);
            break;
        case kRowExecute:
            // Never a second worker, even for a command sent to the disabled
            // button.
            if (!runs.run_under_way()) execute(main, runs);
            break;
        case kRowExit:
            // The window's WM_DESTROY stops a run, saves the settings and
            // quits; nothing is left to repaint afterwards.
            if (confirmed(main, kMsgReallyExit, "Exit")) {
                DestroyWindow(main);
                return 0;
            }
            break;
        case kRowAbort: {
            const bool yes = confirmed(main, kMsgReallyAbort, "Abort");
            // A run that ended while the question was shown (or before it)
            // keeps its report: the answer changes nothing.
            if (!runs.run_under_way()) return 0;
            if (!yes) break;
            if (runs.stop_run()) {
                enter_idle_state();
                append_text(g_text_slots[kSlotRunLog], kSlotSize, "aborted.\n");
                break;
            }
            // It ended just before the answer, its end not yet taken.
            show_run_report();
            enter_idle_state();
            InvalidateRect(main, nullptr, TRUE);
            return 0;
        }
        default:
            break;
    }
    const bool keeps_result =
        id == kRowLanguage || id == kRowDefaultSize || id == kRowExecute || id == kRowExit;
    if (!keeps_result) empty_result_box(runs);
    InvalidateRect(main, nullptr, TRUE);
    return 0;
}

void drop_files(HWND main, HDROP drop, RunControl& runs) {
    // The worker reads the file pattern during a run.
    // UTF-16: the ANSI drop would give a name outside the code page as '?',
    // a wildcard matching other files.
    const UINT count = runs.run_under_way() ? 0 : DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    wchar_t path[kDialogNameSize];
    const UINT len = count > 0 ? DragQueryFileW(drop, 0, path, kDialogNameSize) : 0;
    DragFinish(drop);
    // A path the buffer cannot hold is not cut: it would name another file.
    if (len == 0 || len >= kDialogNameSize) return;
    const DWORD attributes = GetFileAttributesW(path);
    const std::string narrow = utf8_of(path);
    const DroppedItem first{narrow.c_str(), attributes != INVALID_FILE_ATTRIBUTES &&
                                                (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
    char pattern[kDialogNameSize * 3];
    if (!dropped_pattern(first, count, kNoLeadBytes, pattern, sizeof pattern)) return;
    // As after a name chosen in the Input Files dialog.
    set_file_pattern(pattern);
    empty_result_box(runs);
    InvalidateRect(main, nullptr, TRUE);
}

}  // namespace ravolin
