#include "base/utf16_text.h"

#include <cstring>

namespace ravolin {

bool utf8_to_utf16(const char* text, std::size_t n, std::u16string& out) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0;
    while (i < n) {
        const unsigned b = s[i];
        if (b < 0x80) {
            out.push_back(static_cast<char16_t>(b));
            ++i;
            continue;
        }
        // length, smallest value of that length (no overlong forms)
        std::size_t len;
        char32_t value, least;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2, value = b & 0x1F, least = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3, value = b & 0x0F, least = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4, value = b & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (n - i < len) return false;
        for (std::size_t k = 1; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            value = (value << 6) | (s[i + k] & 0x3F);
        }
        if (value < least || value > 0x10FFFF) return false;
        if (value >= 0x10000) {
            value -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(value));
        }
        i += len;
    }
    return true;
}

void utf16_to_utf8(const char16_t* text, std::size_t n, std::string& out) {
    for (std::size_t i = 0; i < n; ++i) {
        char32_t c = text[i];
        // A pair is one character; a lone half keeps its own value.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

bool utf8_to_utf16(const char* text, char16_t* out, std::size_t cap) {
    if (cap == 0) return false;
    out[0] = 0;
    std::u16string wide;
    if (!utf8_to_utf16(text, std::strlen(text), wide) || wide.size() >= cap) return false;
    std::memcpy(out, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
    return true;
}

bool utf16_to_utf8(const char16_t* text, char* out, std::size_t cap) {
    if (cap == 0) return false;
    out[0] = '\0';
    std::size_t n = 0;
    while (text[n] != 0) ++n;
    std::string narrow;
    utf16_to_utf8(text, n, narrow);
    if (narrow.size() >= cap) return false;
    std::memcpy(out, narrow.c_str(), narrow.size() + 1);
    return true;
}

}  // namespace ravolin
