#include "window/label_text.h"

namespace ravolin {
namespace {

constexpr UINT kLabelCodePage = 932;
constexpr int kLabelChars = 256;  // the longest label or message is far shorter

// The label as UTF-16 in out; false when the system cannot convert it (no
// code page 932, or a label longer than kLabelChars). The callers then show
// the bytes through the ANSI API as they are: right at least in English.
bool to_wide(const char* cp932, wchar_t (&out)[kLabelChars]) {
    return MultiByteToWideChar(kLabelCodePage, 0, cp932, -1, out, kLabelChars) > 0;
}

}  // namespace

void set_label(HWND item, const char* cp932) {
    wchar_t text[kLabelChars];
    if (to_wide(cp932, text))
        SetWindowTextW(item, text);
    else
        SetWindowTextA(item, cp932);
}

void draw_label(HDC dc, const char* cp932, RECT* r, UINT format) {
    wchar_t text[kLabelChars];
    if (to_wide(cp932, text))
        DrawTextW(dc, text, -1, r, format);
    else
        DrawTextA(dc, cp932, -1, r, format);
}

int label_message_box(HWND owner, const char* cp932, const char* caption, UINT type) {
    wchar_t text[kLabelChars], wide_caption[kLabelChars];
    if (to_wide(cp932, text) && to_wide(caption, wide_caption))
        return MessageBoxW(owner, text, wide_caption, type);
    return MessageBoxA(owner, cp932, caption, type);
}

}  // namespace ravolin
