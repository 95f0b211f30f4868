// The file-system calls of the settings file that differ by platform, behind
// one interface so that tests can put the file where they like.
#pragma once
#include <cstddef>
#include <cstdio>

namespace ravolin {

class SettingsPlatform {
public:
    virtual ~SettingsPlatform() = default;
    // Writes the full path of `relative`, resolved against the current
    // directory (GetFullPathNameA on Windows, getcwd on POSIX), into out (cap
    // bytes) and returns its length; returns a value >= cap when it does not
    // fit, 0 on failure.
    virtual std::size_t full_path_name(const char* relative, char* out, std::size_t cap) = 0;
    // Puts the file `from` in the place of `to`, replacing an existing `to`
    // in one step. False (and `to` as it was) when that fails.
    virtual bool replace_file(const char* from, const char* to) = 0;
    // Creates `path` as a new, empty file open for binary writing; never
    // opens or replaces an existing file. Null on failure, with errno EEXIST
    // when a file of that name is there.
    virtual std::FILE* create_new(const char* path) = 0;
};

// The running platform's implementation.
SettingsPlatform& platform_settings_platform();

}  // namespace ravolin
