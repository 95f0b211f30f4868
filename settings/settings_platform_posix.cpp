// POSIX: the current directory from getcwd, replacement by rename, a new
// file by open with O_EXCL.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "settings/settings_platform.h"

namespace ravolin {
namespace {

class PosixSettingsPlatform final : public SettingsPlatform {
public:
    std::size_t full_path_name(const char* relative, char* out, std::size_t cap) override {
        if (cap == 0) return 1;
        if (getcwd(out, cap) == nullptr) return errno == ERANGE ? cap : 0;
        std::size_t n = std::strlen(out);
        bool slash = n > 0 && out[n - 1] == '/';
        std::size_t total = n + (slash ? 0 : 1) + std::strlen(relative);
        if (total >= cap) return total + 1;
        if (!slash) out[n++] = '/';
        std::memcpy(out + n, relative, std::strlen(relative) + 1);
        return total;
    }
    bool replace_file(const char* from, const char* to) override { return std::rename(from, to) == 0; }
    std::FILE* create_new(const char* path) override {
        const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) return nullptr;
        std::FILE* f = fdopen(fd, "wb");
        if (!f) close(fd);
        return f;
    }
};

}  // namespace

SettingsPlatform& platform_settings_platform() {
    static PosixSettingsPlatform platform;
    return platform;
}

}  // namespace ravolin
