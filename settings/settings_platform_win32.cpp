// Win32: the full path from GetFullPathNameA, replacement by MoveFileExA, a
// new file by the runtime's _open with _O_EXCL; slot text between UTF-8 and
// the ANSI code page.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "base/utf16_text.h"
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
    bool to_file_text(const char* text, std::string& out) override {
        out.clear();
        std::u16string wide;
        if (!utf8_to_utf16(text, std::strlen(text), wide)) return false;
        if (wide.empty()) return true;
        const auto* units = reinterpret_cast<const wchar_t*>(wide.data());
        const int count = static_cast<int>(wide.size());
        // No best fit: "ü" must not come back as "u", nor an emoji as "?".
        BOOL lost = FALSE;
        const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units, count, nullptr, 0, nullptr, &lost);
        if (n <= 0 || lost) return false;
        out.resize(static_cast<std::size_t>(n));
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units, count, &out[0], n, nullptr, &lost);
        // Exact only when the bytes read back to the same text.
        std::wstring back(static_cast<std::size_t>(count) + 1, L'\0');
        const int m = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, out.data(), n, &back[0], count + 1);
        return !lost && m == count && std::wmemcmp(back.data(), units, static_cast<std::size_t>(count)) == 0;
    }
    void from_file_text(const char* bytes, std::string& out) override {
        out.clear();
        const int n = MultiByteToWideChar(CP_ACP, 0, bytes, -1, nullptr, 0);
        if (n <= 1) return;
        std::wstring wide(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(CP_ACP, 0, bytes, -1, &wide[0], n);
        utf16_to_utf8(reinterpret_cast<const char16_t*>(wide.data()), static_cast<std::size_t>(n - 1), out);
    }
};

}  // namespace

SettingsPlatform& platform_settings_platform() {
    static Win32SettingsPlatform platform;
    return platform;
}

}  // namespace ravolin
