// The program's shared data: the 21 text slots and the 20 settings. Static,
// fixed in size, declared here once. The window thread and the conversion
// worker share them without locks; the window keeps its hands off slots 0, 1,
// 3 and 10 while a run is under way.
#pragma once
#include <cstddef>
#include <cstdint>

namespace ravolin {

constexpr int kSlotCount = 21;
constexpr int kSlotSize = 32000;  // each slot: at most 31999 bytes and a NUL
constexpr int kSettingCount = 20;

// Text slots with a role; the others are only carried through the settings file.
enum SlotIndex {
    kSlotResult = 0,       // result text shown in the result box
    kSlotRunLog = 1,       // one line per file during a run
    kSlotSpecDisplay = 2,  // file pattern as painted (wrapped)
    kSlotSpec = 3,         // wildcard file pattern
    kSlotTabSize = 10,     // tab size text
};

enum SettingIndex {
    kSettingLanguage = 0,  // 0 Japanese, 1 English
    kSettingLeft = 1,      // main window rectangle, screen pixels
    kSettingTop = 2,
    kSettingRight = 3,
    kSettingBottom = 4,
};

extern char g_text_slots[kSlotCount][kSlotSize];
extern std::int32_t g_settings[kSettingCount];

// Whether an index names a text slot or a setting (a form row's `ref` is -1
// where it names none).
constexpr bool is_slot_index(std::int32_t i) { return i >= 0 && i < kSlotCount; }
constexpr bool is_setting_index(std::int32_t i) { return i >= 0 && i < kSettingCount; }

// Puts every slot and setting back to its value before the settings file is
// read: slots 2 and 3 ".\*.c", slot 10 "4", slot 20 "9", the rest empty;
// settings all 0.
void set_default_data();

}  // namespace ravolin
