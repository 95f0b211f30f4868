// Paths and report text are UTF-8 inside the program on every platform;
// Windows takes and gives UTF-16 at its edges (the file-system seam, the
// command line, the console, the window's boxes). These convert between the
// two without the system, so that a name always comes back to the same
// units: NTFS names are any 16-bit units, unpaired surrogates included,
// which are written as the three bytes UTF-8 would give them (the form
// called WTF-8) instead of being replaced.
#pragma once
#include <cstddef>
#include <string>

namespace ravolin {

// UTF-8 (n bytes) to UTF-16, appended to out. False, out as far as it got,
// when the bytes are not UTF-8 (overlong forms, values past U+10FFFF, a cut
// sequence); three-byte surrogate forms are taken back as the units they
// stand for.
bool utf8_to_utf16(const char* text, std::size_t n, std::u16string& out);

// UTF-16 (n units) to UTF-8, appended to out; never fails.
void utf16_to_utf8(const char16_t* text, std::size_t n, std::string& out);

// Bounded forms for fixed buffers: the NUL-terminated text into out (cap
// units or bytes, NUL included). False, out empty, when the text is not
// UTF-8 or does not fit.
bool utf8_to_utf16(const char* text, char16_t* out, std::size_t cap);
bool utf16_to_utf8(const char16_t* text, char* out, std::size_t cap);

}  // namespace ravolin
