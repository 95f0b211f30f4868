#include "cli/file_list.h"

#include "cli/editorconfig.h"

namespace ravolin {

void CliFileList::enter_folder(const std::string& where, const std::string& shown) {
    if (folders_.empty() || folders_.back().where != where) folders_.push_back(Folder{where, shown});
}

AddResult CliFileList::add(const char* name) {
    ++offered_;
    const int folder = static_cast<int>(folders_.size()) - 1;
    std::string path = folders_[folder].where + name;
    if (!seen_.insert(path).second) return AddResult::kAdded;
    if (!entries_.empty() && folders_[entries_.front().folder].where != folders_[folder].where) {
        several_folders_ = true;
    }
    entries_.push_back(Entry{std::move(path), folder, false, {}, {}, {}, false});
    return AddResult::kAdded;
}

std::string CliFileList::patch_path(int i) const {
    std::string p = folder_of(i).shown;
    for (char& ch : p) {
        if (ch == '\\') ch = '/';
    }
    return p + name(i);
}

FileSettings CliFileList::settings(int i) const {
    FileSettings s = editorconfig_settings(i);
    if (entries_[i].some_lines) s.lines = &entries_[i].lines;
    return s;
}

FileSettings CliFileList::editorconfig_settings(int i) const {
    const Entry& e = entries_[i];
    if (!editorconfig_ || e.settled) return e.settings;
    e.settled = true;
    EditorStyle style;
    if (!editorconfig_style(e.path.c_str(), &style, &e.why)) {
        e.settings.error = e.why.c_str();
    } else if (style.spaces && !expand_) {
        e.why = "editorconfig: indent_style = space";
        e.settings.skipped = e.why.c_str();
    } else if (!tab_size_given_) {
        e.settings.tab_size = style.tab_size;
    }
    return e.settings;
}

}  // namespace ravolin
