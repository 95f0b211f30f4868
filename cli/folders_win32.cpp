#include <windows.h>

#include <algorithm>
#include <cstring>

#include "cli/folders.h"

namespace ravolin {

bool absolute_folder(const std::string& folder, std::string& out) {
    char full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameA(folder.empty() ? "." : folder.c_str(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) return false;
    out = full;
    if (out.back() != '\\' && out.back() != '/') out += '\\';
    return true;
}

bool is_folder(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::string> subfolders(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const DWORD a = data.dwFileAttributes;
        if ((a & FILE_ATTRIBUTE_DIRECTORY) == 0 || (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
        if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
        names.emplace_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace ravolin
