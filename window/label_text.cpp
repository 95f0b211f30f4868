#include "window/label_text.h"

#include <cstring>
#include <cwchar>

#include "base/utf16_text.h"

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

std::string utf8_of(const wchar_t* wide) {
    std::string out;
    utf16_to_utf8(reinterpret_cast<const char16_t*>(wide), std::wcslen(wide), out);
    return out;
}

std::wstring wide_of(const char* utf8) {
    std::u16string units;
    if (!utf8_to_utf16(utf8, std::strlen(utf8), units)) {
        // Text cut inside a character (a full run log): the system's
        // reading replaces only the broken bytes.
        const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
        std::wstring wide(n > 0 ? static_cast<std::size_t>(n) : 1, L'\0');
        if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &wide[0], n);
        wide.resize(std::wcslen(wide.c_str()));
        return wide;
    }
    return std::wstring(units.begin(), units.end());
}

void set_utf8_text(HWND item, const char* utf8) { SetWindowTextW(item, wide_of(utf8).c_str()); }

void draw_utf8_text(HDC dc, const char* utf8, RECT* r, UINT format) {
    const std::wstring wide = wide_of(utf8);
    DrawTextW(dc, wide.c_str(), -1, r, format);
}

void get_utf8_text(HWND item, char* out, std::size_t cap) {
    if (cap == 0) return;
    out[0] = '\0';
    const int len = GetWindowTextLengthW(item);
    if (len <= 0) return;
    std::wstring wide(static_cast<std::size_t>(len) + 1, L'\0');
    wide.resize(static_cast<std::size_t>(GetWindowTextW(item, &wide[0], len + 1)));
    const std::string text = utf8_of(wide.c_str());
    std::size_t n = text.size();
    if (n > cap - 1) {
        n = cap - 1;
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

}  // namespace ravolin
