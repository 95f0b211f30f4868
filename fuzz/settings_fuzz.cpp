// Fuzzes the settings loader with arbitrary file contents. Checks that every
// slot stays terminated within its 32000 bytes, that the language comes out
// as 0 or 1, and that what was loaded survives a save and a second load
// unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/settings_file.h"
#include "settings/window_data.h"

using namespace ravolin;

namespace {
char g_saved_slots[kSlotCount][kSlotSize];
std::int32_t g_saved_settings[kSettingCount];
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    set_default_data();
    // fmemopen refuses a zero-sized buffer; an empty file is the same as none.
    if (size > 0) {
        std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
        if (!in) return 0;
        read_settings(in);
        std::fclose(in);
    } else {
        read_settings(nullptr);
    }

    if (g_settings[kSettingLanguage] != 0 && g_settings[kSettingLanguage] != 1) std::abort();
    for (auto& slot : g_text_slots) {
        if (strnlen(slot, kSlotSize) >= static_cast<std::size_t>(kSlotSize)) std::abort();
    }

    // Save what was loaded, load it again: nothing may change.
    std::memcpy(g_saved_slots, g_text_slots, sizeof g_saved_slots);
    std::memcpy(g_saved_settings, g_settings, sizeof g_saved_settings);
    char* buf = nullptr;
    std::size_t len = 0;
    std::FILE* out = open_memstream(&buf, &len);
    if (!out) return 0;
    bool written = write_settings(out);
    std::fclose(out);
    if (!written) std::abort();
    set_default_data();
    std::FILE* again = fmemopen(buf, len, "rb");
    if (!again) std::abort();
    read_settings(again);
    std::fclose(again);
    std::free(buf);
    if (std::memcmp(g_saved_settings, g_settings, sizeof g_settings) != 0) std::abort();
    for (int i = 0; i < kSlotCount; ++i) {
        if (std::strcmp(g_saved_slots[i], g_text_slots[i]) != 0) std::abort();
    }
    return 0;
}
