// The separator search under paths: in code page 932 the second byte of 表,
// ソ and 能 is 0x5C and must never count as a backslash.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/path_text.h"
#include "base/utf16_text.h"

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


// Names pass between UTF-8 inside and UTF-16 at Windows' edges; every
// sequence of 16-bit units a file system can hold must come back the same.
TEST(Utf16Text, NamesComeBackUnitForUnit) {
    struct Case { std::u16string wide; std::string utf8; };
    const Case cases[] = {
        // UTF-16                          UTF-8
        {u"plain.c",                       "plain.c"},
        {u"\u65e5\u672c\u8a9e.c",          "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.c"},  // three bytes
        {u"\u00fcn\u00ef.c",               "\xc3\xbcn\xc3\xaf.c"},                    // two bytes
        {u"data\U0001F600",                "data\xf0\x9f\x98\x80"},                   // a pair: four bytes
        {std::u16string(1, u'\xd800') + u"a", "\xed\xa0\x80" "a"},                   // lone high half
        {u"a" + std::u16string(1, u'\xdc00'), "a\xed\xb0\x80"},                      // lone low half, last
    };
    for (const Case& c : cases) {
        std::string narrow;
        utf16_to_utf8(c.wide.data(), c.wide.size(), narrow);
        EXPECT_EQ(narrow, c.utf8);
        std::u16string back;
        EXPECT_TRUE(utf8_to_utf16(c.utf8.data(), c.utf8.size(), back)) << c.utf8;
        EXPECT_EQ(back, c.wide) << c.utf8;
    }
}

TEST(Utf16Text, BytesThatAreNoUtf8AreRefused) {
    const char* const cases[] = {
        "\x95\x5c",           // code page 932
        "\xc0\xaf",           // overlong '/'
        "\xe0\x80\xaf",       // overlong, three bytes
        "\xf4\x90\x80\x80",   // past U+10FFFF
        "\xe6\x97",           // cut short
        "\x80",               // a lone continuation byte
    };
    for (const char* text : cases) {
        std::u16string out;
        EXPECT_FALSE(utf8_to_utf16(text, std::strlen(text), out)) << text;
    }
    char16_t small[4];
    EXPECT_FALSE(utf8_to_utf16("abcd", small, sizeof small / sizeof small[0]));  // no room for the NUL
    char tiny[3];
    EXPECT_FALSE(utf16_to_utf8(u"\u00fc\u00fc", tiny, sizeof tiny));
}

}  // namespace
}  // namespace ravolin
