// The form's labels and messages on screen. The tables hold them as code
// page 932 bytes; they are converted from 932 and shown through the wide
// API, so the Japanese ones read right whatever the system's ANSI code page
// (and the English ones too). File names, the file pattern, the tab size and
// the result text are UTF-8 in the text slots, and go through the wide API
// too, so that any name reads right.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

namespace ravolin {

// The label as the text of a control made with CreateWindowExW.
void set_label(HWND item, const char* cp932);
// DrawTextW of the label.
void draw_label(HDC dc, const char* cp932, RECT* r, UINT format);
// MessageBoxW with the label as its text (the caption is read the same way).
int label_message_box(HWND owner, const char* cp932, const char* caption, UINT type);

// UTF-8 text (a slot's) as the text of a control made with CreateWindowExW.
void set_utf8_text(HWND item, const char* utf8);
// DrawTextW of UTF-8 text.
void draw_utf8_text(HDC dc, const char* utf8, RECT* r, UINT format);
// The control's text as UTF-8 into out (cap bytes, NUL included), cut at a
// character's start where it does not fit.
void get_utf8_text(HWND item, char* out, std::size_t cap);
// UTF-16 to UTF-8 and back, for the window's dialogs; a broken UTF-8 byte
// reads as U+FFFD.
std::string utf8_of(const wchar_t* wide);
std::wstring wide_of(const char* utf8);

}  // namespace ravolin
