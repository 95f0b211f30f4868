// The form's arithmetic: item rectangles, default size, visible cells, scroll
// pull-back and positions, the dialog's initial name, display wrapping and
// the language toggle.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "form/layout_math.h"

namespace ravolin {
namespace {

// ---------------------------------------------------------------- cell

TEST(CellFromMetrics, FixedAndVariablePitch) {
    struct Case { int ave; unsigned pitch; int height; int leading; int w; int h; };
    const Case cases[] = {
        // ave pitch height leading   w   h
        {8, 0x00, 13, 3,              8,  16},  // fixed pitch: average width
        {7, 0x01, 13, 0,              10, 13},  // variable pitch: 7 * 3 / 2 truncated
        {8, 0x31, 16, 0,              12, 16},  // family bits do not matter
        {0, 0x00, 0, 0,               1,  1},   // a broken font never yields a zero cell
    };
    for (const Case& c : cases) {
        Cell cell = cell_from_metrics(c.ave, c.pitch, c.height, c.leading);
        EXPECT_EQ(cell.width, c.w) << c.ave << " " << c.pitch;
        EXPECT_EQ(cell.height, c.h) << c.height << " " << c.leading;
    }
}

// ---------------------------------------------------------------- item_rect

TEST(ItemRect, EdgesScaleAndTruncateEachOnTheirOwn) {
    struct Case {
        int l, t, r, b; Cell cell; ScrollOrigin origin; PixelRect want;
    };
    const Case cases[] = {
        // edges (tenths)     cell     origin     left top right bottom
        {10, 20, 210, 32,     {8, 16}, {0, 0},    {8, 32, 168, 51}},   // 512/10 truncated
        {10, 20, 210, 32,     {8, 16}, {-2, -1},  {-8, 16, 152, 35}},  // scrolled
        {10, 65, 90, 77,      {7, 13}, {0, 0},    {7, 84, 63, 100}},   // 56 x 16
        {505, 5, 520, 17,     {7, 13}, {0, 0},    {353, 6, 364, 22}},  // 3535/10, 65/10
        {0, 0, 0, 0,          {8, 16}, {0, 0},    {0, 0, 0, 0}},       // empty row
    };
    for (const Case& c : cases) {
        PixelRect r = item_rect(c.l, c.t, c.r, c.b, c.cell, c.origin);
        EXPECT_EQ(r.left, c.want.left) << c.l << "," << c.t;
        EXPECT_EQ(r.top, c.want.top) << c.l << "," << c.t;
        EXPECT_EQ(r.right, c.want.right) << c.l << "," << c.t;
        EXPECT_EQ(r.bottom, c.want.bottom) << c.l << "," << c.t;
    }
}

// ---------------------------------------------------------------- sizes

TEST(DefaultWindowSize, FiftyFourCellsPlusTenByTwentyFourCells) {
    struct Case { Cell cell; int w; int h; };
    const Case cases[] = {
        // cell      width height
        {{8, 16},    442, 384},
        {{7, 13},    388, 312},
        {{10, 13},   550, 312},
    };
    for (const Case& c : cases) {
        PixelSize s = default_window_size(c.cell);
        EXPECT_EQ(s.width, c.w);
        EXPECT_EQ(s.height, c.h);
    }
}

TEST(VisibleCells, WholeCellsOnly) {
    struct Case { int client; int cell; int want; };
    const Case cases[] = {
        // client cell want
        {300, 8, 37},
        {200, 16, 12},
        {0, 16, 0},      // minimised
        {15, 16, 0},     // a part cell does not count
        {100, 0, 0},     // no cell measured yet: nothing divides by zero
    };
    for (const Case& c : cases) EXPECT_EQ(visible_cells(c.client, c.cell), c.want) << c.client;
}

TEST(SavedRect, RestoredOnlyWhenWiderAndHigherThanFive) {
    struct Case { int l, t, r, b; bool want; };
    const Case cases[] = {
        //  l    t    r    b    restore
        {100, 100, 106, 200, true},
        {100, 100, 105, 200, false},   // width 5
        {100, 100, 200, 105, false},   // height 5
        {0, 0, 0, 0, false},           // first start, no settings file
        {200, 200, 100, 100, false},   // inverted
        {INT32_MIN, 0, INT32_MAX, 100, false},  // width does not fit 32 bits
    };
    for (const Case& c : cases) EXPECT_EQ(saved_rect_usable(c.l, c.t, c.r, c.b), c.want) << c.l;
}

// ---------------------------------------------------------------- scrolling

TEST(PullBack, MovesContentBackOnlyWhenScrolledAndPastTheFarEdge) {
    struct Case { int origin; int visible; int extent; int want; };
    const Case cases[] = {
        // origin visible extent  d
        {-5,  18, 20,  3},    // 18 > 15: row becomes -2
        {-5,  30, 20,  5},    // d 15 capped at 5: row becomes 0
        {0,   40, 20,  0},    // never pulls back at the origin
        {-11, 10, 20,  1},    // 10 > 9: back to -10
        {-10, 10, 20,  0},    // exactly fits
        {-3,  0,  20,  0},    // minimised
        {-2,  60, 52,  2},    // horizontal, capped
        {-10, 45, 52,  3},    // horizontal: column becomes -7
    };
    for (const Case& c : cases)
        EXPECT_EQ(pull_back(c.origin, c.visible, c.extent), c.want) << c.origin << " " << c.visible;
}

TEST(NewScrollPosition, RequestTable) {
    const ScrollBarState bar{0, 20, 12, 5, 9};
    struct Case { int request; int want; };
    const Case cases[] = {
        // request          new position
        {0, 4},    // line up
        {1, 6},    // line down
        {2, -7},   // page up (the system clamps it)
        {3, 17},   // page down
        {4, 5},    // thumb position: unchanged
        {5, 9},    // thumb track
        {6, 0},    // top
        {7, 20},   // bottom
        {8, 5},    // end scroll
        {42, 5},   // unknown request
    };
    for (const Case& c : cases) EXPECT_EQ(new_scroll_position(c.request, bar), c.want) << c.request;
}

TEST(ScrollDelta, OriginNeverBecomesPositive) {
    struct Case { int old_pos; int new_pos; int origin; int want; };
    const Case cases[] = {
        // old new origin   d
        {5, 6, -5,   -1},   // one line down
        {5, 4, -5,    1},   // one line up
        {11, 0, -10, 10},   // back to the top after a pull-back: capped
        {3, 3, -3,    0},   // nothing moved
        {0, 12, 0,  -12},   // page down from the top
    };
    for (const Case& c : cases)
        EXPECT_EQ(scroll_delta(c.old_pos, c.new_pos, c.origin), c.want) << c.old_pos << "->" << c.new_pos;
}

// ---------------------------------------------------------------- placement

TEST(ReachableWindowRect, TitleBarOffEveryMonitorMovesOntoTheNearest) {
    const PixelRect kLeft{0, 0, 1024, 740}, kRight{1024, 0, 2048, 740};  // work areas
    const PixelRect both[] = {kLeft, kRight};
    struct Case { const char* name; PixelRect saved; std::size_t areas; PixelRect nearest; PixelRect want; };
    const Case cases[] = {
        // name                           saved                    areas nearest  result
        {"on screen: kept",               {100, 100, 700, 500},    1, kLeft,  {100, 100, 700, 500}},
        {"on the second monitor: kept",   {1500, 50, 1900, 400},   2, kRight, {1500, 50, 1900, 400}},
        {"title bar just reachable",      {-560, -12, 40, 388},    1, kLeft,  {-560, -12, 40, 388}},
        {"far off: same size, pulled in", {5000, 5000, 5600, 5400}, 1, kLeft, {424, 340, 1024, 740}},
        {"negative: to the corner",       {-50, -60, -10, -20},    1, kLeft,  {0, 0, 40, 40}},
        {"title above the top",           {100, -30, 500, 300},    1, kLeft,  {100, 0, 500, 330}},
        {"only 39 pixels showing",        {-561, 10, 39, 400},     1, kLeft,  {0, 10, 600, 400}},
        {"larger than the work area",     {-9000, 5000, 9000, 9000}, 1, kLeft, {0, 0, 1024, 740}},
        {"gone monitor, right one near",  {2100, 100, 2500, 400},  2, kRight, {1648, 100, 2048, 400}},
        {"no work areas known: kept",     {5000, 5000, 5600, 5400}, 0, kLeft, {5000, 5000, 5600, 5400}},
        {"extreme values",                {2147483000, 2147483000, 2147483600, 2147483600}, 1, kLeft,
                                          {424, 140, 1024, 740}},
    };
    for (const Case& c : cases) {
        const PixelRect r = reachable_window_rect(c.saved, both, c.areas, c.nearest, 24);
        EXPECT_EQ(r.left, c.want.left) << c.name;
        EXPECT_EQ(r.top, c.want.top) << c.name;
        EXPECT_EQ(r.right, c.want.right) << c.name;
        EXPECT_EQ(r.bottom, c.want.bottom) << c.name;
    }
}

// ---------------------------------------------------------------- dialog name

TEST(InitialDialogName, EverythingAfterTheLastBackslashBecomesWildcard) {
    struct Case { const char* pattern; const char* want; };
    const Case cases[] = {
        // file pattern       initial name
        {".\\*.c",                   ".\\*.*"},
        {"C:\\src\\a.c",             "C:\\src\\*.*"},
        {"abc",                      "a*.*"},      // the first character stays
        {"x",                        "x"},
        {"",                         ""},
        {"C:\\dir\\",                "C:\\dir\\"},  // trailing backslash: unchanged
        {"\\abc",                    "\\*.*"},
    };
    for (const Case& c : cases) {
        char out[kDialogNameSize];
        EXPECT_TRUE(initial_dialog_name(c.pattern, kCodePage932LeadBytes, out, sizeof out)) << c.pattern;
        EXPECT_STREQ(out, c.want) << c.pattern;
    }
}

TEST(InitialDialogName, LongPatternIsCutNeverOverrun) {
    // A file pattern from an edited settings file can be far longer than the
    // dialog's name buffer (N bytes).
    struct Case { std::string pattern; std::string want; bool fits; };
    constexpr std::size_t N = kDialogNameSize;
    const std::string folder(N - 5, 'd');
    const Case cases[] = {
        {folder + "\\a.c", folder + "\\*.*", true},                    // N - 1 chars: fits
        {folder + "d\\a.c", std::string(N - 4, 'd') + "\\*.", false},  // N would not
        {std::string(5000, 'z') + "\\a.c", std::string(N - 1, 'z'), false},
        {std::string(31999, 'y'), "y*.*", true},   // no backslash: first char + *.*
    };
    for (const Case& c : cases) {
        char buf[N + 8];
        std::memset(buf, 0x55, sizeof buf);
        EXPECT_EQ(initial_dialog_name(c.pattern.c_str(), kCodePage932LeadBytes, buf, N), c.fits) << c.pattern.size();
        EXPECT_EQ(std::string(buf), c.want) << c.pattern.size();
        for (std::size_t i = N; i < N + 8; ++i) EXPECT_EQ(buf[i], 0x55) << "overrun at " << i;
    }
}

// Shift-JIS characters whose second byte is 0x5C.
const std::string kHyo = "\x95\x5c", kSo = "\x83\x5c", kA = "\x82\xa0";

TEST(InitialDialogName, SecondByteOfADoubleByteCharacterIsNoBackslash) {
    struct Case { std::string pattern; std::string cp932; std::string single; };
    const Case cases[] = {
        // file pattern                 code page 932                 single-byte reading
        {"C:\\d\\" + kHyo + ".c",       "C:\\d\\*.*",               "C:\\d\\" + kHyo.substr(0, 1) + "\\*.*"},
        {"C:\\" + kHyo + "\\a.c",       "C:\\" + kHyo + "\\*.*",    "C:\\" + kHyo + "\\*.*"},
        {"C:\\d\\" + kSo,              "C:\\d\\*.*",               "C:\\d\\" + kSo},
        {kHyo + "*.c",                  kHyo + "*.*",                 kHyo + "*.*"},   // whole first character stays
        {kHyo,                          kHyo,                         kHyo},
        {kA + "b",                      kA + "*.*",                   "\x82*.*"},
    };
    for (const Case& c : cases) {
        char out[kDialogNameSize];
        EXPECT_TRUE(initial_dialog_name(c.pattern.c_str(), kCodePage932LeadBytes, out, sizeof out));
        EXPECT_EQ(std::string(out), c.cp932) << c.pattern;
        EXPECT_TRUE(initial_dialog_name(c.pattern.c_str(), kNoLeadBytes, out, sizeof out));
        EXPECT_EQ(std::string(out), c.single) << c.pattern;
    }
}

// ---------------------------------------------------------------- display

TEST(WrapDisplay, BreaksAtBackslashesAfterFortyCharacters) {
    const std::string s39(39, 'a'), s40(40, 'a'), s45(45, 'a'), s39b(39, 'b'), s40b(40, 'b');
    struct Case { std::string name; std::string want; };
    const Case cases[] = {
        {"D:\\work\\projects\\converter\\sources\\module\\*.c",
         "D:\\work\\projects\\converter\\sources\\module\\\n     *.c"},
        {s40 + "\\x.c", s40 + "\\\n     x.c"},            // backslash at index 40 breaks
        {s39 + "\\x.c", s39 + "\\x.c"},                  // index 39 does not
        // after a break at 45, the next break point is at index 86 or later
        {s45 + "\\" + s39b + "\\" + "c", s45 + "\\\n     " + s39b + "\\c"},  // 85: no
        {s45 + "\\" + s40b + "\\" + "c", s45 + "\\\n     " + s40b + "\\\n     c"},  // 86
        {std::string(60, 'n'), std::string(60, 'n')},   // no backslash: never broken
        {"", ""},
        {".\\*.c", ".\\*.c"},
    };
    for (const Case& c : cases) {
        char out[kDialogNameSize];
        EXPECT_TRUE(wrap_display(c.name.c_str(), kCodePage932LeadBytes, out, sizeof out)) << c.name;
        EXPECT_EQ(std::string(out), c.want) << c.name;
    }
}

TEST(WrapDisplay, SecondByteOfADoubleByteCharacterIsNoBreakPoint) {
    const std::string s38(38, 'a'), s40(40, 'a'), kHyo3 = kHyo + kHyo + kHyo;
    struct Case { std::string name; std::string want; };
    const Case cases[] = {
        // a folder of 表表表 past column 40 stays whole
        {s40 + "\\" + kHyo3 + "\\x.c", s40 + "\\\n     " + kHyo3 + "\\x.c"},
        {s40 + kHyo3 + "\\x.c", s40 + kHyo3 + "\\\n     x.c"},
        // two bytes count two: the backslash after 38 + 表 has 40 before it
        {s38 + kHyo + "\\x.c", s38 + kHyo + "\\\n     x.c"},
        {s40 + kSo, s40 + kSo},                     // name ends in one
    };
    for (const Case& c : cases) {
        char out[kDialogNameSize];
        EXPECT_TRUE(wrap_display(c.name.c_str(), kCodePage932LeadBytes, out, sizeof out));
        EXPECT_EQ(std::string(out), c.want) << c.name;
    }
}

TEST(WrapDisplay, FullBufferIsCutNeverOverrun) {
    // A name that fills the buffer, with a backslash every 41 characters:
    // each break adds six bytes.
    constexpr std::size_t N = kDialogNameSize;
    std::string name;
    while (name.size() < N - 1) name += std::string(40, 'p') + "\\";
    name.resize(N - 1);
    char buf[N + 8];
    std::memset(buf, 0x55, sizeof buf);
    EXPECT_FALSE(wrap_display(name.c_str(), kCodePage932LeadBytes, buf, N));
    EXPECT_EQ(std::strlen(buf), N - 1);
    EXPECT_EQ(std::string(buf, 47), std::string(40, 'p') + "\\\n     ");
    for (std::size_t i = N; i < N + 8; ++i) EXPECT_EQ(buf[i], 0x55) << "overrun at " << i;
}

// ---------------------------------------------------------------- language

TEST(ToggleLanguage, AlternatesBetweenJapaneseAndEnglish) {
    struct Case { int from; int to; };
    const Case cases[] = {
        // from to
        {0, 1},
        {1, 0},
        {7, 0},    // out of range: back to Japanese
        {-1, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(toggle_language(c.from), c.to) << c.from;
    int lang = 0;
    int seen[4];
    for (int& s : seen) s = lang = toggle_language(lang);
    EXPECT_EQ(seen[0], 1);
    EXPECT_EQ(seen[1], 0);
    EXPECT_EQ(seen[2], 1);
    EXPECT_EQ(seen[3], 0);
}

}  // namespace
}  // namespace ravolin
