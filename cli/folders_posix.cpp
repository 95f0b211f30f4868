#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "cli/folders.h"

namespace ravolin {

bool absolute_folder(const std::string& folder, std::string& out) {
    out.clear();
    if (folder.empty() || (folder[0] != '/' && folder[0] != '\\')) {
        char cwd[4096];
        if (!::getcwd(cwd, sizeof cwd)) return false;
        out = cwd;
        if (out.back() != '/') out += '/';
    }
    for (char ch : folder) out += ch == '\\' ? '/' : ch;  // both separate folders here
    if (out.back() != '/') out += '/';
    return true;
}

bool is_folder(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> subfolders(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    const int dfd = ::dirfd(dir);
    while (const dirent* d = ::readdir(dir)) {
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
        // d_type spares a stat per entry where the file system fills it in.
        bool dir_entry = d->d_type == DT_DIR;
        if (d->d_type == DT_UNKNOWN) {
            struct stat st;
            dir_entry = ::fstatat(dfd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        if (dir_entry) names.emplace_back(d->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace ravolin
