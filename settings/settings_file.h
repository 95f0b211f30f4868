// The settings file "Ravolin.ini": the 20 settings and the 21 text slots
// carried from one start of the program to the next. Its path is formed once
// from the directory current at start-up; load and save are silent, and a
// failure leaves the program working with what it has.
//
// On disk (CR LF line ends on every platform):
//   "20", then settings 0..19 as "%d", then "21", then text slots 0..20, each
//   on one line with LF stored as 0x07 and CR as 0x0B. A slot is written in
//   the system's ANSI code page where that holds its text exactly (so such
//   a file reads as it always did, in every version); otherwise as a UTF-8
//   byte order mark followed by its UTF-8 text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "settings/settings_platform.h"

namespace ravolin {

// Settings path buffer; a longer path is not formed.
constexpr int kSettingsPathSize = 1000;

// The main window's rectangle in screen pixels.
struct WindowRect {
    std::int32_t left, top, right, bottom;
};

// Forms the settings path: "Ravolin.exe" resolved against the current
// directory with "exe" replaced by "ini". Returns false and leaves the path
// empty when the platform fails or the path needs 1000 bytes or more.
bool form_settings_path(SettingsPlatform& platform);

// The formed path, "" when none could be formed (then nothing is loaded or
// saved).
const char* settings_path();

// Forms the path and fills the settings and text slots from the file over
// their current values, as far as the file goes. Afterwards the language is
// 0 or 1.
void load_settings();
void load_settings(SettingsPlatform& platform);

// The reading part of the load, from an open byte stream (the file is read
// in binary; CR LF and lone LF both end a line). Also used by the fuzzer.
void read_settings(std::FILE* in);
void read_settings(std::FILE* in, SettingsPlatform& platform);

// Writes the settings file: stores `rect` in settings 1..4 (nullptr: the
// window's rectangle could not be read, they keep their values) and writes
// the settings and text slots as they stand (the window collects its edit
// boxes' texts into their slots first). The new file is written under a
// temporary name that no file had ("Ravolin.ini.N.tmp") and replaces the old
// one only once it is complete, so a failed save leaves the old file as it
// was and no file of the user's is ever overwritten. Does
// nothing when the path is empty or the file cannot be written. The slots
// themselves are not changed by the LF/CR encoding. Returns true when the
// file was written.
bool save_settings(const WindowRect* rect);
bool save_settings(SettingsPlatform& platform, const WindowRect* rect);

// Writes the file's contents (settings and slots as they stand) to an open
// stream; false when a write failed.
bool write_settings(std::FILE* out);
bool write_settings(std::FILE* out, SettingsPlatform& platform);

}  // namespace ravolin
