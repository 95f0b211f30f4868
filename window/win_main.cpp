// Entry point of Ravolin.exe: register the class, create and show the main
// window, run the message loop. Command line arguments are not read.
#include <windows.h>

#include "window/main_window.h"
#include "settings/window_data.h"

namespace {

int start_up_failed() {
    MessageBoxA(nullptr, "Few resource or Wrong coding", ravolin::kAppName, MB_OK | MB_ICONERROR);
    return 0;
}

int run_message_loop() {
    MSG msg{};
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) return 0;  // no valid queue: nothing more can arrive
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    ravolin::set_default_data();
    if (!ravolin::register_main_class(instance)) return start_up_failed();
    // Without a window nothing would ever post the quit message.
    HWND main = ravolin::create_main_window(instance);
    if (main == nullptr) return start_up_failed();
    ShowWindow(main, show);
    UpdateWindow(main);
    return run_message_loop();
}
