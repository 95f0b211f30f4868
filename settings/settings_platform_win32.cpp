// Win32: the full path from GetFullPathNameA, replacement by MoveFileExA, a
// new file by the runtime's _open with _O_EXCL.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

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
    std::FILE* create_new(const char* path) override {
        const int fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd < 0) return nullptr;
        std::FILE* f = _fdopen(fd, "wb");
        if (!f) _close(fd);
        return f;
    }
};

}  // namespace

SettingsPlatform& platform_settings_platform() {
    static Win32SettingsPlatform platform;
    return platform;
}

}  // namespace ravolin
