// The main window's contents as data: the 50-row form table, the item kinds,
// and the two-language message table. Both tables are constant; the row index
// is an item's identity everywhere (command identifier, item window index).
#pragma once
#include <cstdint>

namespace ravolin {

// One item of the main window. Edges are in tenths of a cell; `label` is
// {Japanese (code page 932 bytes), English}, both null where the kind shows
// no label.
struct FormItem {
    std::int32_t kind;    // item kind below; -1 or 0 in an empty row
    std::int32_t ref;     // text slot or settings index by kind; -1 for none
    std::int32_t aux;     // radio: first row of group; edge: BF_ flags;
                          // other controls: 2 = starts disabled; -1 for none
    std::uint32_t style;  // window style, DrawTextA format or DrawEdge type
    std::int32_t left, top, right, bottom;
    const char* label[2];
};

// Item kinds. Any other value makes an empty row that nothing creates,
// paints, labels or reads.
constexpr std::int32_t kKindPaintedLabel = 1;
constexpr std::int32_t kKindPaintedSlotText = 2;
constexpr std::int32_t kKindPaintedDecimal = 3;
constexpr std::int32_t kKindPaintedHex = 4;      // "%#x"
constexpr std::int32_t kKindPaintedEdge = 11;
constexpr std::int32_t kKindPushButton = 21;
constexpr std::int32_t kKindRadioButton = 22;
constexpr std::int32_t kKindCheckBox = 23;
constexpr std::int32_t kKindOtherButton = 24;
constexpr std::int32_t kKindStaticLabel = 31;
constexpr std::int32_t kKindStaticSlotText = 32;
constexpr std::int32_t kKindStaticDecimal = 33;
constexpr std::int32_t kKindStaticHex = 34;      // "%x"
constexpr std::int32_t kKindEdit = 41;

// `aux` value that makes a control (other than a radio button) start disabled.
constexpr std::int32_t kAuxStartsDisabled = 2;

constexpr int kFormRows = 50;
extern const FormItem kFormTable[kFormRows];

// Rows with a role.
constexpr int kRowTitle = 0;
constexpr int kRowLanguage = 1;
constexpr int kRowDefaultSize = 2;
constexpr int kRowInputFiles = 3;
constexpr int kRowTabSize = 11;
constexpr int kRowExecute = 21;
constexpr int kRowExit = 22;
constexpr int kRowAbort = 23;
constexpr int kRowResult = 25;
constexpr int kRowSpecDisplay = 30;
constexpr int kRowResultCaption = 39;
constexpr int kRowTabCaption = 40;

// Messages shown by the program.
constexpr int kMessageCount = 20;
constexpr int kMsgReallyExit = 1;
constexpr int kMsgReallyAbort = 2;
constexpr int kMsgNameTooLong = 3;

// Class of a kind, for the code that creates controls.
bool is_control_kind(std::int32_t kind);   // 21-24, 31-34, 41
bool is_labelled_kind(std::int32_t kind);  // 21-24, 31: relabelled on a switch
bool is_painted_kind(std::int32_t kind);   // 1-4, 11

// Text of message n in a language. Never null: an unknown message number
// gives "", and a language other than 1 reads as Japanese (0).
const char* message_text(int n, int language);

// Label of a form row in a language. Never null: a row without a label, or
// outside 0..49, gives ""; a language other than 1 reads as Japanese (0).
const char* item_label(int row, int language);

}  // namespace ravolin
