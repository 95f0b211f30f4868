// The open-file dialog's guard against names it cannot take. The system's
// dialog puts the folder and the typed name together in a buffer of
// MAX_PATH characters, and a longer name has been seen to crash the program
// inside the dialog. So the typed name is measured before the dialog acts on
// it; one that would not fit is refused with a message in the window's
// language, and the dialog stays open for another.
#pragma once
#include <windows.h>

namespace ravolin {

// The dialog's hook (OPENFILENAME.lpfnHook, with OFN_EXPLORER and
// OFN_ENABLEHOOK). Works for the ANSI and the wide dialog alike.
UINT_PTR CALLBACK file_dialog_hook(HWND child, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace ravolin
