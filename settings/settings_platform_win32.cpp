// Win32: the full path from GetFullPathNameA, replacement by MoveFileExA.
#include <windows.h>

#include "settings/settings_platform.h"

namespace ravolin {
namespace {

class Win32SettingsPlatform final : public SettingsPlatform {
public:
    std::size_t full_path_name(const char* relative, char* out, std::size_t cap) override {
        return GetFullPathNameA(relative, static_cast<DWORD>(cap), out, nullptr);
    }
    bool replace_file(const char* from, const char* to) override {
        return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
};

}  // namespace

SettingsPlatform& platform_settings_platform() {
    static Win32SettingsPlatform platform;
    return platform;
}

}  // namespace ravolin
