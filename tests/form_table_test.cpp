// The form and message tables: the rows that make the window, which of them
// are controls, and the exact label bytes in both languages.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "form/form_table.h"
#include "form/win_constants.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace ravolin {
namespace {

std::string hex(const char* s) {
    std::string out;
    char buf[4];
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
        std::snprintf(buf, sizeof buf, "%02x ", *p);
        out += buf;
    }
    return out;
}

// The UTF-8 text converted to code page 932 by the platform's converter
// (iconv natively, the Win32 code page functions in the Windows build).
std::string to_cp932(const char* utf8) {
#ifdef _WIN32
    wchar_t wide[256];
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide, 256);
    if (n <= 0) return "<no utf-8>";
    char out[512];
    BOOL lossy = FALSE;
    int m = WideCharToMultiByte(932, 0, wide, -1, out, sizeof out, nullptr, &lossy);
    if (m <= 0 || lossy) return "<no cp932>";
    return std::string(out);
#else
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return "<no converter>";
    char in[256];
    std::strncpy(in, utf8, sizeof in - 1);
    in[sizeof in - 1] = '\0';
    char out[512] = {};
    char* ip = in;
    char* op = out;
    std::size_t il = std::strlen(in), ol = sizeof out - 1;
    std::size_t r = iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1)) return "<no cp932>";
    return std::string(out, op - out);
#endif
}

// ---------------------------------------------------------------- rows

TEST(FormTableRows, RowsWithARole) {
    struct Want {
        int row; std::int32_t kind, ref, aux; std::uint32_t style;
        std::int32_t left, top, right, bottom; const char* english;
    };
    const Want rows[] = {
        // row kind ref aux style        left top right bottom english label
        {0,  31, -1, -1, 0x50000000u,   10,   6, 400,  16, "Converting Spaces to Tab"},
        {1,  21, -1, -1, 0x50000000u,  410,   5, 500,  17, "Japanese"},
        {2,  21, -1, -1, 0x50000000u,  505,   5, 520,  17, "#"},
        {3,  21,  2, -1, 0x50000000u,   10,  20, 210,  32, "Input Files(*, ? allowed)"},
        {11, 41, 10, -1, 0x50800080u,  100,  65, 120,  77, nullptr},
        {21, 21, -1, -1, 0x50000000u,  220,  80, 280,  92, "Execute"},
        {22, 21, -1, -1, 0x50000000u,  320,  80, 380,  92, "Exit"},
        {23, 21, -1,  2, 0x50000000u,  420,  80, 480,  92, "Abort"},
        {25, 41,  0, -1, 0x50A000C4u,   10, 110, 510, 190, nullptr},
        {30,  2,  2, -1, 0x00004000u,   50,  35, 510,  62, nullptr},
        {39, 31, -1, -1, 0x50000000u,   10,  95, 120, 107, "Result"},
        {40, 31, -1, -1, 0x50000000u,   10,  65,  90,  77, "Tab size"},
    };
    for (const Want& w : rows) {
        const FormItem& it = kFormTable[w.row];
        SCOPED_TRACE("row " + std::to_string(w.row));
        EXPECT_EQ(it.kind, w.kind);
        EXPECT_EQ(it.ref, w.ref);
        EXPECT_EQ(it.aux, w.aux);
        EXPECT_EQ(it.style, w.style);
        EXPECT_EQ(it.left, w.left);
        EXPECT_EQ(it.top, w.top);
        EXPECT_EQ(it.right, w.right);
        EXPECT_EQ(it.bottom, w.bottom);
        if (w.english) {
            EXPECT_STREQ(it.label[1], w.english);
            EXPECT_NE(it.label[0], nullptr);
        } else {
            EXPECT_EQ(it.label[0], nullptr);
            EXPECT_EQ(it.label[1], nullptr);
        }
    }
}

TEST(FormTableRows, RoleConstantsNameTheirRows) {
    struct Case { int row; std::int32_t kind; const char* english; };
    const Case cases[] = {
        {kRowTitle, 31, "Converting Spaces to Tab"}, {kRowLanguage, 21, "Japanese"},
        {kRowDefaultSize, 21, "#"}, {kRowInputFiles, 21, "Input Files(*, ? allowed)"},
        {kRowTabSize, 41, ""}, {kRowExecute, 21, "Execute"}, {kRowExit, 21, "Exit"},
        {kRowAbort, 21, "Abort"}, {kRowResult, 41, ""}, {kRowSpecDisplay, 2, ""},
        {kRowResultCaption, 31, "Result"}, {kRowTabCaption, 31, "Tab size"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kFormTable[c.row].kind, c.kind) << c.row;
        EXPECT_STREQ(item_label(c.row, 1), c.english) << c.row;
    }
}

TEST(FormTableRows, EmptyRowsInTheMiddleAndZeroRowsAtTheEnd) {
    const int role_rows[] = {0, 1, 2, 3, 11, 21, 22, 23, 25, 30, 39, 40};
    for (int row = 0; row < kFormRows; ++row) {
        bool has_role = false;
        for (int r : role_rows) has_role |= (r == row);
        if (has_role) continue;
        const FormItem& it = kFormTable[row];
        SCOPED_TRACE("row " + std::to_string(row));
        const std::int32_t fill = row >= 41 ? 0 : -1;
        EXPECT_EQ(it.kind, fill);
        EXPECT_EQ(it.ref, fill);
        EXPECT_EQ(it.aux, fill);
        EXPECT_EQ(it.style, static_cast<std::uint32_t>(fill));
        EXPECT_EQ(it.left | it.top | it.right | it.bottom, 0);
        EXPECT_EQ(it.label[0], nullptr);
        EXPECT_EQ(it.label[1], nullptr);
        EXPECT_FALSE(is_control_kind(it.kind));
        EXPECT_FALSE(is_painted_kind(it.kind));
    }
}

// ---------------------------------------------------------------- kinds

TEST(FormTableKinds, WhichRowsAreControlsLabelledPaintedOrEditBoxes) {
    std::string controls, labelled, painted, edits;
    for (int row = 0; row < kFormRows; ++row) {
        const FormItem& it = kFormTable[row];
        std::string r = std::to_string(row) + " ";
        if (is_control_kind(it.kind)) controls += r;
        if (is_labelled_kind(it.kind)) labelled += r;
        if (is_painted_kind(it.kind)) painted += r;
        if (it.kind == kKindEdit) edits += r + "->" + std::to_string(it.ref) + " ";
    }
    EXPECT_EQ(controls, "0 1 2 3 11 21 22 23 25 39 40 ");
    EXPECT_EQ(labelled, "0 1 2 3 21 22 23 39 40 ");
    EXPECT_EQ(painted, "30 ");
    EXPECT_EQ(edits, "11 ->10 25 ->0 ");
}

TEST(FormTableKinds, UnlistedKindsAreNothing) {
    struct Case { std::int32_t kind; bool control, labelled, painted; };
    const Case cases[] = {
        // kind control labelled painted
        {-1, false, false, false}, {0, false, false, false},  {1, false, false, true},
        {4, false, false, true},   {5, false, false, false},  {11, false, false, true},
        {20, false, false, false}, {21, true, true, false},   {24, true, true, false},
        {25, false, false, false}, {31, true, true, false},   {32, true, false, false},
        {34, true, false, false},  {35, false, false, false}, {41, true, false, false},
        {42, false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(is_control_kind(c.kind), c.control) << c.kind;
        EXPECT_EQ(is_labelled_kind(c.kind), c.labelled) << c.kind;
        EXPECT_EQ(is_painted_kind(c.kind), c.painted) << c.kind;
    }
}

TEST(FormTableKinds, FormExtentIs52By19Cells) {
    std::int32_t right = 0, bottom = 0;
    for (const FormItem& it : kFormTable) {
        if (it.right > right) right = it.right;
        if (it.bottom > bottom) bottom = it.bottom;
    }
    EXPECT_EQ(right, 520);
    EXPECT_EQ(bottom, 190);
}

// ---------------------------------------------------------------- labels

TEST(FormTableLabels, JapaneseLabelsAreCodePage932OfTheirText) {
    struct Case { int row; const char* utf8; };
    const Case cases[] = {
        {0, "空白をタブに変換"},
        {1, "English"},
        {2, "#"},
        {3, "入力ファイル名(*, ? 指定可)"},
        {21, "実行"},
        {22, "終了"},
        {23, "処理停止"},
        {39, "結果"},
        {40, "タブサイズ"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hex(item_label(c.row, 0)), hex(to_cp932(c.utf8).c_str())) << c.row;
        EXPECT_EQ(item_label(c.row, 0), kFormTable[c.row].label[0]) << c.row;
    }
}

TEST(FormTableLabels, MessagesInBothLanguages) {
    struct Case { int n; const char* utf8; const char* english; };
    const Case cases[] = {
        {kMsgReallyExit, "本当に終了しますか？", "Really exit?"},
        {kMsgReallyAbort, "本当に処理停止しますか？", "Really abort?"},
        {kMsgNameTooLong, "ファイル名が長すぎます。", "The file name is too long."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hex(message_text(c.n, 0)), hex(to_cp932(c.utf8).c_str())) << c.n;
        EXPECT_STREQ(message_text(c.n, 1), c.english) << c.n;
    }
    // The question mark is the full-width one (0x81 0x48), not '?'.
    const char* q = message_text(kMsgReallyExit, 0);
    std::size_t n = std::strlen(q);
    ASSERT_GE(n, 2u);
    EXPECT_EQ(static_cast<unsigned char>(q[n - 2]), 0x81);
    EXPECT_EQ(static_cast<unsigned char>(q[n - 1]), 0x48);
}

TEST(FormTableLabels, LookupsNeverGiveNull) {
    struct Case { int index; int language; const char* label; const char* message; };
    const Case cases[] = {
        // index language  item_label          message_text
        {1,   1,  "Japanese",  "Really exit?"},
        {1,   7,  "English",   nullptr},  // unknown language reads as Japanese
        {1,  -1,  "English",   nullptr},
        {11,  1,  "",          ""},       // no label; message 11 is empty
        {0,   1,  "Converting Spaces to Tab", ""},
        {-1,  1,  "",          ""},
        {50,  0,  "",          ""},
        {20,  1,  "",          ""},
    };
    for (const Case& c : cases) {
        const char* label = item_label(c.index, c.language);
        const char* message = message_text(c.index, c.language);
        ASSERT_NE(label, nullptr) << c.index;
        ASSERT_NE(message, nullptr) << c.index;
        EXPECT_STREQ(label, c.label) << c.index << " " << c.language;
        if (c.message) {
            EXPECT_STREQ(message, c.message) << c.index << " " << c.language;
        }
    }
    EXPECT_STREQ(message_text(kMsgReallyExit, 7), message_text(kMsgReallyExit, 0));
    for (int n = 0; n < kMessageCount; ++n) {
        if (n == kMsgReallyExit || n == kMsgReallyAbort || n == kMsgNameTooLong) continue;
        EXPECT_STREQ(message_text(n, 0), "") << n;
        EXPECT_STREQ(message_text(n, 1), "") << n;
    }
}

// ---------------------------------------------------------------- constants

#ifdef _WIN32
TEST(WinConstants, EqualTheWindowsHeaders) {
    struct Case { const char* name; std::uint32_t ours, theirs; };
    const Case cases[] = {
        {"WS_CHILD", kWsChild, WS_CHILD},
        {"WS_VISIBLE", kWsVisible, WS_VISIBLE},
        {"WS_BORDER", kWsBorder, WS_BORDER},
        {"WS_VSCROLL", kWsVscroll, WS_VSCROLL},
        {"BS_PUSHBUTTON", kBsPushButton, BS_PUSHBUTTON},
        {"SS_LEFT", kSsLeft, SS_LEFT},
        {"ES_MULTILINE", kEsMultiline, ES_MULTILINE},
        {"ES_AUTOVSCROLL", kEsAutoVscroll, ES_AUTOVSCROLL},
        {"ES_AUTOHSCROLL", kEsAutoHscroll, ES_AUTOHSCROLL},
        {"DT_LEFT", kDtLeft, DT_LEFT},
        {"DT_TOP", kDtTop, DT_TOP},
        {"DT_PATH_ELLIPSIS", kDtPathEllipsis, DT_PATH_ELLIPSIS},
    };
    for (const Case& c : cases) EXPECT_EQ(c.ours, c.theirs) << c.name;
}
#endif

}  // namespace
}  // namespace ravolin
