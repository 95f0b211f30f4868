// Win32: the full path from GetFullPathNameA, replacement by MoveFileExA.
#include <windows.h>

#include "settings/settings_file.h"
#include "settings/settings_platform.h"

namespace ravolin {
namespace {

class Win32PathSeam : public PathSeam {
public:
    std::size_t full_path_name(const char* relative, char* out, std::size_t cap) override {
        return GetFullPathNameA(relative, static_cast<DWORD>(cap), out, nullptr);
    }
};

}  // namespace

PathSeam& platform_path_seam() {
    static Win32PathSeam seam;
    return seam;
}

bool replace_file(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace ravolin
