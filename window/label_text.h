// The form's labels and messages on screen. The tables hold them as code
// page 932 bytes; they are converted from 932 and shown through the wide
// API, so the Japanese ones read right whatever the system's ANSI code page
// (and the English ones too). File names, the file pattern, the tab size and
// the result text are not labels: they stay in the ANSI code page.
#pragma once
#include <windows.h>

namespace ravolin {

// The label as the text of a control made with CreateWindowExW.
void set_label(HWND item, const char* cp932);
// DrawTextW of the label.
void draw_label(HDC dc, const char* cp932, RECT* r, UINT format);
// MessageBoxW with the label as its text (the caption is read the same way).
int label_message_box(HWND owner, const char* cp932, const char* caption, UINT type);

}  // namespace ravolin
