#include "window/main_window.h"

#include "window/settings_glue.h"
#include "window/worker.h"
#include "base/bounded_text.h"
#include "base/version.h"
#include "window/commands.h"
#include "window/form_window.h"
#include "window/label_text.h"
#include "settings/window_data.h"

namespace ravolin {

const char kAppName[] = "Ravolin";

namespace {

const char kCaption[] = "Ravolin : " RAVOLIN_VERSION " (C) the Ravolin developers";

Worker g_worker;

// Window set-up on WM_CREATE; never stops the creation.
void set_up(HWND main, const CREATESTRUCTA* cs) {
    measure_cell(main);
    load_settings_file();
    create_items(main, cs->hInstance);
    relabel_items();
    restore_window_rect(main);
    // Files and folders dropped on the window become the file pattern.
    DragAcceptFiles(main, TRUE);
}

// The window thread takes the end of a run: report, idle state, worker
// handle cleared, repaint, in that order.
void take_run_end(HWND main, WPARAM run_number) {
    // A run that Abort stopped already had its end dealt with.
    if (!g_worker.is_current_run(run_number)) return;
    show_run_report();
    enter_idle_state();
    g_worker.finish_run();
    InvalidateRect(main, nullptr, TRUE);
}

// The worker has started a file: the result box shows how far the run is.
void take_run_progress(WPARAM run_number) {
    char text[kRunPathSize + 64];
    if (g_worker.take_progress(run_number, text, sizeof text))
        set_utf8_text(g_item_windows[kRowResult], text);
}

// WM_DESTROY, reached once: by the close box or by a confirmed Exit, both of
// which destroy the window. The child controls still exist here, so their
// texts can be saved. A run still under way is stopped first and waited for,
// so the save never reads the text slots while the worker writes them; what
// is saved as its report is the report so far, not the progress line the
// box was showing.
void shut_down(HWND main) {
    if (g_worker.run_under_way()) {
        if (g_worker.stop_run()) {
            char* log = g_text_slots[kSlotRunLog];
            copy_text(g_text_slots[kSlotResult], kSlotSize, log);
            append_text(g_text_slots[kSlotResult], kSlotSize, "aborted.\r\n");
            append_text(log, kSlotSize, "aborted.\n");
        }
        show_run_report();
    }
    save_settings_file(main);
    PostQuitMessage(0);
}

}  // namespace

bool register_main_class(HINSTANCE instance) {
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = main_window_proc;
    wc.hInstance = instance;
    // Our icon (window/ravolin.rc); the system takes the small one from the
    // same resource.
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    if (wc.hIcon == nullptr) wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kAppName;
    return RegisterClassA(&wc) != 0;
}

HWND create_main_window(HINSTANCE instance) {
    return CreateWindowExA(0, kAppName, kCaption, WS_OVERLAPPEDWINDOW | WS_HSCROLL | WS_VSCROLL,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                           nullptr, instance, nullptr);
}

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    // message         handler
    switch (message) {
        case WM_CREATE:
            set_up(window, reinterpret_cast<const CREATESTRUCTA*>(lparam));
            return 0;
        case WM_DESTROY: shut_down(window); return 0;
        case WM_SIZE: resize_form(window, lparam); return 0;
        case WM_PAINT: paint_form(window); return 0;
        case WM_COMMAND: return handle_command(window, wparam, g_worker);
        case WM_DROPFILES: drop_files(window, reinterpret_cast<HDROP>(wparam), g_worker); return 0;
        case WM_HSCROLL: scroll_form_horizontal(window, wparam); return 0;
        case WM_VSCROLL: scroll_form_vertical(window, wparam); return 0;
        case kMsgRunEnded: take_run_end(window, wparam); return 0;
        case kMsgRunProgress: take_run_progress(wparam); return 0;
        default: return DefWindowProcA(window, message, wparam, lparam);
    }
}

}  // namespace ravolin
