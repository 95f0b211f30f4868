// The main window's use of the settings file.
#pragma once
#include <windows.h>

namespace ravolin {

// Reads the settings file into the settings and text slots (before any
// control exists). Without a language from the file, the language follows
// the user's interface language.
void load_settings_file();
// Saves the settings file with the edit boxes' texts and the window's
// rectangle, when a settings path could be formed. Does not post the quit
// message.
void save_settings_file(HWND main);

}  // namespace ravolin
