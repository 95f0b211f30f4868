// UTF-8 as the engine and the encoding check read it: which bytes start a
// sequence and how long it is, and how many columns a code point takes.
#pragma once

#include "engine/unicode_width_table.h"

namespace ravolin {

// What a byte says as the first of a UTF-8 sequence: its length (0 when it
// cannot start one: ASCII, a continuation byte, C0, C1, F5..FF) and the range
// the second byte must fall in, which rules out overlong forms, surrogates
// and code points past U+10FFFF. Indexed by unsigned byte.
struct Utf8Lead {
    unsigned char len, lo, hi;
};

struct Utf8LeadTable {
    Utf8Lead at[256];
};

constexpr Utf8LeadTable make_utf8_leads() {
    Utf8LeadTable t{};
    for (int b = 0xC2; b <= 0xF4; ++b) {
        Utf8Lead l{static_cast<unsigned char>(b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4), 0x80, 0xBF};
        if (b == 0xE0) l.lo = 0xA0;
        if (b == 0xED) l.hi = 0x9F;
        if (b == 0xF0) l.lo = 0x90;
        if (b == 0xF4) l.hi = 0x8F;
        t.at[b] = l;
    }
    return t;
}

constexpr Utf8LeadTable kUtf8Leads = make_utf8_leads();

inline bool utf8_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Display columns of a code point (0, 1 or 2), from the generated table.
// Always inlined: the converter looks it up for every character.
__attribute__((always_inline)) inline int display_width(unsigned cp) {
    return (kWidthBlocks[kWidthIndex[cp >> 8]][(cp & 255) >> 2] >> (2 * (cp & 3))) & 3;
}

}  // namespace ravolin
