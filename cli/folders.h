// What the command line's folder walk asks of the system beyond the batch
// run's seam: absolute folder paths, whether a path is a folder, and the
// folders inside a folder. POSIX in cli_folders_posix.cpp, Win32 in
// cli_folders_win32.cpp.
#pragma once
#include <string>
#include <vector>

namespace ravolin {

#ifdef _WIN32
constexpr char kFolderSeparator = '\\';
#else
constexpr char kFolderSeparator = '/';
#endif

// folder ("" for the current one, '/' or '\\' separating) as an absolute
// path ending in a separator. False when it cannot be formed.
bool absolute_folder(const std::string& folder, std::string& out);

// True when path names a folder (or a link to one).
bool is_folder(const char* path);

// The names of the folders directly inside folder (absolute, ending in a
// separator), in byte order: no links to folders (nor junctions), no "." or
// "..". Empty when folder cannot be read.
std::vector<std::string> subfolders(const std::string& folder);

}  // namespace ravolin
