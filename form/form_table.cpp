#include "form/form_table.h"

#include "form/win_constants.h"

namespace ravolin {
namespace {

// Japanese texts as code page 932 bytes (the source stays UTF-8; the program
// hands these bytes to the ANSI window functions unchanged). Each literal is
// split after its escapes so a following hex digit cannot extend them.
const char kJaTitle[] =        // 空白をタブに変換
    "\x8b\xf3\x94\x92\x82\xf0\x83\x5e\x83\x75\x82\xc9\x95\xcf\x8a\xb7";
const char kJaInputFiles[] =   // 入力ファイル名(*, ? 指定可)
    "\x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc" "(*, ? "
    "\x8e\x77\x92\xe8\x89\xc2" ")";
const char kJaExecute[] =      // 実行
    "\x8e\xc0\x8d\x73";
const char kJaExit[] =         // 終了
    "\x8f\x49\x97\xb9";
const char kJaAbort[] =        // 処理停止
    "\x8f\x88\x97\x9d\x92\xe2\x8e\x7e";
const char kJaResult[] =       // 結果
    "\x8c\x8b\x89\xca";
const char kJaTabSize[] =      // タブサイズ
    "\x83\x5e\x83\x75\x83\x54\x83\x43\x83\x59";
const char kJaReallyExit[] =   // 本当に終了しますか？ (full-width question mark)
    "\x96\x7b\x93\x96\x82\xc9\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb7\x82\xa9\x81\x48";
const char kJaReallyAbort[] =  // 本当に処理停止しますか？
    "\x96\x7b\x93\x96\x82\xc9\x8f\x88\x97\x9d\x92\xe2\x8e\x7e\x82\xb5\x82\xdc\x82\xb7\x82\xa9\x81\x48";
const char kJaNameTooLong[] =  // ファイル名が長すぎます。
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xaa\x92\xb7\x82\xb7\x82\xac\x82\xdc\x82\xb7\x81\x42";

constexpr std::uint32_t kChild = kWsChild | kWsVisible;              // 0x50000000
constexpr std::uint32_t kButton = kChild | kBsPushButton;
constexpr std::uint32_t kStatic = kChild | kSsLeft;
constexpr std::uint32_t kTabBox = kChild | kWsBorder | kEsAutoHscroll;  // 0x50800080
constexpr std::uint32_t kResultBox = kChild | kWsBorder | kWsVscroll | kEsMultiline |
                                     kEsAutoVscroll | kEsAutoHscroll;  // 0x50A000C4
constexpr std::uint32_t kSpecText = kDtPathEllipsis | kDtLeft | kDtTop;  // 0x4000
constexpr std::uint32_t kNone = 0xFFFFFFFFu;  // -1: no style

#define EMPTY_ROW {-1, -1, -1, kNone, 0, 0, 0, 0, {nullptr, nullptr}}
#define ZERO_ROW {0, 0, 0, 0, 0, 0, 0, 0, {nullptr, nullptr}}

}  // namespace

// The rows as one list, spelled once and used twice below: once to count
// them (a forgotten row would otherwise be zero-filled at the end and shift
// every later row up) and once as the table itself.
#define RAVOLIN_FORM_ROWS { \
    /* kind                   ref aux style       left top right bottom  label {ja, en} */ \
    /* 0 */ {kKindStaticLabel, -1, -1, kStatic,    10,   6, 400,  16, {kJaTitle, "Converting Spaces to Tab"}}, \
    /* 1 */ {kKindPushButton,  -1, -1, kButton,   410,   5, 500,  17, {"English", "Japanese"}}, \
    /* 2 */ {kKindPushButton,  -1, -1, kButton,   505,   5, 520,  17, {"#", "#"}}, \
    /* 3 */ {kKindPushButton,   2, -1, kButton,    10,  20, 210,  32, {kJaInputFiles, "Input Files(*, ? allowed)"}}, \
    /* 4 */ EMPTY_ROW, EMPTY_ROW, EMPTY_ROW, EMPTY_ROW, EMPTY_ROW, EMPTY_ROW, EMPTY_ROW,  /* 4-10 */ \
    /* 11 */ {kKindEdit,       10, -1, kTabBox,   100,  65, 120,  77, {nullptr, nullptr}}, \
    /* 12 */ EMPTY_ROW, EMPTY_ROW, EMPTY_ROW, EMPTY_ROW, EMPTY_ROW, EMPTY_ROW, EMPTY_ROW, \
    /* 19 */ EMPTY_ROW, EMPTY_ROW,                                                      /* 12-20 */ \
    /* 21 */ {kKindPushButton, -1, -1, kButton,   220,  80, 280,  92, {kJaExecute, "Execute"}}, \
    /* 22 */ {kKindPushButton, -1, -1, kButton,   320,  80, 380,  92, {kJaExit, "Exit"}}, \
    /* 23 */ {kKindPushButton, -1, kAuxStartsDisabled, kButton, 420, 80, 480, 92, {kJaAbort, "Abort"}}, \
    /* 24 */ EMPTY_ROW, \
    /* 25 */ {kKindEdit,        0, -1, kResultBox, 10, 110, 510, 190, {nullptr, nullptr}}, \
    /* 26 */ EMPTY_ROW, EMPTY_ROW, EMPTY_ROW, EMPTY_ROW,                                /* 26-29 */ \
    /* 30 */ {kKindPaintedSlotText, 2, -1, kSpecText, 50, 35, 510, 62, {nullptr, nullptr}}, \
    /* 31 */ EMPTY_ROW, EMPTY_ROW, EMPTY_ROW, EMPTY_ROW, EMPTY_ROW, EMPTY_ROW, EMPTY_ROW, \
    /* 38 */ EMPTY_ROW,                                                                 /* 31-38 */ \
    /* 39 */ {kKindStaticLabel, -1, -1, kStatic,   10,  95, 120, 107, {kJaResult, "Result"}}, \
    /* 40 */ {kKindStaticLabel, -1, -1, kStatic,   10,  65,  90,  77, {kJaTabSize, "Tab size"}}, \
    /* 41 */ ZERO_ROW, ZERO_ROW, ZERO_ROW, ZERO_ROW, ZERO_ROW, ZERO_ROW, ZERO_ROW, ZERO_ROW, \
    /* 49 */ ZERO_ROW,                                                                  /* 41-49 */ \
}


namespace {
constexpr FormItem kRowsAsWritten[] = RAVOLIN_FORM_ROWS;
static_assert(sizeof(kRowsAsWritten) / sizeof(kRowsAsWritten[0]) == kFormRows,
              "the form table is written out with exactly 50 rows");
}  // namespace

const FormItem kFormTable[kFormRows] = RAVOLIN_FORM_ROWS;
#undef RAVOLIN_FORM_ROWS

#undef EMPTY_ROW
#undef ZERO_ROW

namespace {

// Messages 1 and 2 are the two questions, 3 the file dialog's refusal of a
// name it cannot take; the others are shown by nothing and stay empty.
struct MessagePair {
    const char* text[2];  // {Japanese, English}
};
const MessagePair kMessages[kMessageCount] = {
    /* 0 */ {{"", ""}},
    /* 1 */ {{kJaReallyExit, "Really exit?"}},
    /* 2 */ {{kJaReallyAbort, "Really abort?"}},
    /* 3 */ {{kJaNameTooLong, "The file name is too long."}},
    /* 4 */ {{"", ""}}, {{"", ""}}, {{"", ""}}, {{"", ""}}, {{"", ""}}, {{"", ""}},
    /* 10 */ {{"", ""}}, {{"", ""}}, {{"", ""}}, {{"", ""}}, {{"", ""}}, {{"", ""}}, {{"", ""}},
    /* 17 */ {{"", ""}}, {{"", ""}}, {{"", ""}},
};
static_assert(sizeof(kMessages) / sizeof(kMessages[0]) == kMessageCount, "20 messages");

int language_index(int language) { return language == 1 ? 1 : 0; }

}  // namespace

bool is_control_kind(std::int32_t kind) {
    return (kind >= kKindPushButton && kind <= kKindOtherButton) ||
           (kind >= kKindStaticLabel && kind <= kKindStaticHex) || kind == kKindEdit;
}

bool is_labelled_kind(std::int32_t kind) {
    return (kind >= kKindPushButton && kind <= kKindOtherButton) || kind == kKindStaticLabel;
}

bool is_painted_kind(std::int32_t kind) {
    return (kind >= kKindPaintedLabel && kind <= kKindPaintedHex) || kind == kKindPaintedEdge;
}

const char* message_text(int n, int language) {
    if (n < 0 || n >= kMessageCount) return "";
    const char* text = kMessages[n].text[language_index(language)];
    return text ? text : "";
}

const char* item_label(int row, int language) {
    if (row < 0 || row >= kFormRows) return "";
    const char* text = kFormTable[row].label[language_index(language)];
    return text ? text : "";
}

}  // namespace ravolin
