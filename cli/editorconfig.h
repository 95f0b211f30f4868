// What a repository's .editorconfig files say about one file, read by the
// reference library (editorconfig-core-c) where the build has it: the tab
// size (tab_width, else a numeric indent_size) and whether the file is
// indented with spaces. The window does not read them.
#pragma once
#include <string>

namespace ravolin {

struct EditorStyle {
    int tab_size = 0;     // 1..40 when set; 0: not said (or out of range)
    bool spaces = false;  // indent_style = space
};

// True when this build reads .editorconfig files (the Windows builds do not).
bool editorconfig_supported();

// The style for path (absolute, as the file system spells it). False when a
// .editorconfig file could not be read or parsed; error then says which and
// why in a few words. Without support: true and no style.
bool editorconfig_style(const char* path, EditorStyle* style, std::string* error);

}  // namespace ravolin
