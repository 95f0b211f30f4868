// The file-system calls of the settings file that differ by platform, behind
// one interface so that tests can put the file where they like.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

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

    // The slots hold UTF-8, and the file the narrow text of the system's
    // ANSI code page, which earlier versions read. to_file_text gives the
    // file's bytes for a slot's text, false when some character has no
    // exact form in that code page (or the text is no UTF-8);
    // from_file_text reads them back. The default takes bytes as they are:
    // POSIX has no other code page.
    virtual bool to_file_text(const char* text, std::string& out) {
        out = text;
        return true;
    }
    virtual void from_file_text(const char* bytes, std::string& out) { out = bytes; }
};

// The running platform's implementation.
SettingsPlatform& platform_settings_platform();

}  // namespace ravolin
