// The main window: its class, its creation and its window procedure, which
// hands each message to the form's handlers.
#pragma once
#include <windows.h>

namespace ravolin {

// The application name: class name, caption's first word, error box caption.
extern const char kAppName[];

// Registers the window class; false when the system refuses it.
bool register_main_class(HINSTANCE instance);
// Creates the (hidden) main window; its creation runs the window set-up.
// Null when the window could not be created.
HWND create_main_window(HINSTANCE instance);

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace ravolin
