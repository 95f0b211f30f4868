// Finding the folder separators of a path one character at a time. Narrow
// paths are written in the system's code page; in a double-byte code page
// such as 932 the second byte of a character can be 0x5C (表, ソ, 能), which
// must never be taken for a backslash. Every layer that splits a path (the
// batch run's folder, the dialog's initial name, the wrapped display) asks
// here.
#pragma once
#include <cstddef>

namespace ravolin {

// Which bytes begin a double-byte character, indexed by unsigned byte.
struct LeadBytes {
    bool lead[256];
};

// No double-byte characters: single-byte code pages, and UTF-8, where every
// byte of a multi-byte sequence is 0x80 or above, so 0x5C is always '\'.
extern const LeadBytes kNoLeadBytes;
// Code page 932: 0x81-0x9F and 0xE0-0xFC.
extern const LeadBytes kCodePage932LeadBytes;

// The lead bytes of the platform's narrow file names: on Windows those of the
// ANSI code page, asked of the system (so 932, but also 936, 949 and 950, are
// right); none on POSIX, where names are UTF-8 or plain bytes.
const LeadBytes& system_lead_bytes();

// Bytes of the character that starts at text: 2 for a lead byte followed by
// a byte other than NUL, 1 otherwise, 0 at the terminating NUL.
std::size_t char_length(const char* text, const LeadBytes& lead);

enum class Separators { kBackslash, kBackslashAndSlash };

// Length of text up to and including its last separator; 0 when it has none.
std::size_t after_last_separator(const char* text, const LeadBytes& lead, Separators separators);

// Whether the first byte of a character is a separator. Only one-byte
// characters can be: no lead byte is '\\' or '/'.
bool is_separator(char first_byte, Separators separators);

}  // namespace ravolin
