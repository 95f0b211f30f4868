// The command line's file list: any number of files over any number of
// folders, each file once. Each entry's path is its folder's absolute path
// and its name; the report shows the folder as the user wrote it when the
// list spans more than one.
#pragma once
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "batch/file_list.h"

namespace ravolin {

class CliFileList final : public FileList {
public:
    // Files added from now on lie in this folder: where is its absolute path
    // (ending in a separator), shown the folder as the user wrote it, ending
    // in a separator ("" for the current folder).
    void enter_folder(const std::string& where, const std::string& shown);

    // A name already listed in the same folder is taken once.
    AddResult add(const char* name) override;
    int count() const override { return static_cast<int>(entries_.size()); }
    const char* path(int i) const override { return entries_[i].path.c_str(); }
    const char* name(int i) const override { return entries_[i].path.c_str() + folder_of(i).where.size(); }
    const char* folder(int i) const override { return folder_of(i).where.c_str(); }
    const char* shown_folder(int i) const override { return several_folders_ ? folder_of(i).shown.c_str() : ""; }

    // From now on settings(i) reads each file's .editorconfig files: its
    // tab size unless tab_size_given, and a file indented with spaces is
    // left alone unless the style turns tabs into spaces (expand).
    void use_editorconfig(bool tab_size_given, bool expand) {
        editorconfig_ = true;
        tab_size_given_ = tab_size_given;
        expand_ = expand;
    }
    FileSettings settings(int i) const override;
    // Only these lines of entry i are converted (none: nothing to do).
    void set_lines(int i, LineRanges lines) {
        entries_[i].lines = std::move(lines);
        entries_[i].some_lines = true;
    }

    // How often add was called: names matched, listed before or not.
    long offered() const { return offered_; }
    // Entry i's path as the user would type it from where the program
    // started: "src/a.c", "a.c".
    std::string shown_path(int i) const { return folder_of(i).shown + name(i); }
    // The same with '/' between folders, for a patch.
    std::string patch_path(int i) const;

private:
    struct Folder {
        std::string where, shown;
    };
    struct Entry {
        std::string path;  // where + name
        int folder;
        // settings(i), once read; why holds the words it points to.
        mutable bool settled = false;
        mutable FileSettings settings;
        mutable std::string why;
        LineRanges lines;
        bool some_lines = false;  // lines says which are converted
    };
    const Folder& folder_of(int i) const { return folders_[entries_[i].folder]; }
    FileSettings editorconfig_settings(int i) const;

    std::vector<Folder> folders_;
    std::vector<Entry> entries_;
    std::unordered_set<std::string> seen_;  // paths listed
    long offered_ = 0;
    bool several_folders_ = false;
    bool editorconfig_ = false, tab_size_given_ = false, expand_ = false;
};

}  // namespace ravolin
