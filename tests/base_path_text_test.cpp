// The separator search under paths: in code page 932 the second byte of 表,
// ソ and 能 is 0x5C and must never count as a backslash.
#include <gtest/gtest.h>

#include <string>

#include "base/path_text.h"

namespace ravolin {
namespace {

// Shift-JIS characters whose second byte is 0x5C, and one whose is not.
const std::string kHyo = "\x95\x5c", kSo = "\x83\x5c", kNou = "\x94\x5c", kA = "\x82\xa0";

TEST(AfterLastSeparator, SecondByteIsNeverASeparatorInCodePage932) {
    struct Case { std::string text; std::size_t cp932; std::size_t single; };
    const Case cases[] = {
        // text                                   932  single-byte reading
        {kHyo + "*.c",                            0,   2},   // name starts with one
        {"sub\\" + kSo + "*.c",                   4,   6},   // name after a folder
        {"a" + kNou + "b\\x.c",                   5,   5},   // middle of a folder
        {kHyo + "\\x.c",                          3,   3},   // start of a folder
        {"d\\" + kHyo + kHyo + kHyo + "\\*.c",    9,   9},   // folder of three
        {"d\\" + kHyo,                            2,   4},   // end of the name
        {"d\\" + kA + "\\*.c",                    5,   5},   // ordinary second byte
        {"Z:\\x\\" + kNou + "\\*.c",              8,   8},
        {"a/b\\c",                                4,   4},   // both separators
        {"\x95",                                  0,   0},   // lone lead byte at the end
        {"",                                      0,   0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(after_last_separator(c.text.c_str(), kCodePage932LeadBytes,
                                       Separators::kBackslashAndSlash), c.cp932) << c.text;
        EXPECT_EQ(after_last_separator(c.text.c_str(), kNoLeadBytes,
                                       Separators::kBackslashAndSlash), c.single) << c.text;
    }
    EXPECT_EQ(after_last_separator("a/b", kNoLeadBytes, Separators::kBackslash), 0u);
}

TEST(CharLength, LeadBytesOfCodePage932) {
    struct Case { const char* text; std::size_t want; };
    const Case cases[] = {
        // text          bytes
        {"\x81\x40",     2},   // first lead byte
        {"\x9f\x40",     2},
        {"\xe0\x40",     2},
        {"\xfc\x40",     2},   // last lead byte
        {"\x80\x40",     1},   // just outside the ranges
        {"\xa0\x40",     1},
        {"\xdf\x40",     1},   // half-width katakana
        {"\xfd\x40",     1},
        {"\x95",         1},   // a lead byte never reaches past the NUL
        {"",             0},
    };
    for (const Case& c : cases) EXPECT_EQ(char_length(c.text, kCodePage932LeadBytes), c.want);
}

}  // namespace
}  // namespace ravolin
