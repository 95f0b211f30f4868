// The files of a run: gathered first, handled one by one once the whole list
// is there, so that backups the run makes never enter it. Each entry carries
// its full path (its folder followed by its name), so nothing depends on the
// process's current directory. The caller may bring its own list: the
// window's run uses a fixed table of 500 paths, the command line a list
// without limit that spans several folders.
#pragma once
#include <cstddef>

#include "batch/file_system.h"
#include "engine/line_merge.h"

namespace ravolin {

// What a file's own settings say, where a list has them (the command
// line's .editorconfig files).
struct FileSettings {
    int tab_size = 0;               // 1..40; 0: the run's own
    const char* skipped = nullptr;  // left alone on purpose: why
    const char* error = nullptr;    // the settings could not be read: why
    // Only these lines are converted, the rest kept byte for byte;
    // nullptr: every line.
    const LineRanges* lines = nullptr;
};

enum class AddResult {
    kAdded,    // taken (or already there)
    kTooLong,  // not taken: the path does not fit an entry
};

class FileList {
public:
    virtual ~FileList() = default;
    // Takes one bare name, found in the folder being searched.
    virtual AddResult add(const char* name) = 0;
    // True when no name fits any more: the search ends.
    virtual bool full() const { return false; }
    virtual int count() const = 0;
    // What the file system is asked about entry i: its folder and its name.
    virtual const char* path(int i) const = 0;
    // The bare name of entry i, the end of path(i).
    virtual const char* name(int i) const = 0;
    // The folder of entry i as the seam's search takes it: "" or ending in
    // a separator. Entries of one folder follow each other.
    virtual const char* folder(int i) const = 0;
    // What the report lines show in front of entry i's name ("src/lib/"), or
    // "" for the bare name.
    virtual const char* shown_folder(int i) const {
        (void)i;
        return "";
    }
    // Entry i's own settings; the strings live as long as the list.
    virtual FileSettings settings(int i) const {
        (void)i;
        return {};
    }
};

// The window's list: 500 paths of at most kRunPathSize - 1 bytes, all in one
// folder, in place. The search ends with the 500th name; later ones go
// unmentioned.
class FixedFileList final : public FileList {
public:
    static constexpr int kMaxFiles = 500;
    // Empties the list; names added from now on lie in folder ("" or ending
    // in a separator). False when even the folder does not fit a path.
    bool clear(const char* folder);
    AddResult add(const char* name) override;
    bool full() const override { return count_ >= kMaxFiles; }
    int count() const override { return count_; }
    const char* path(int i) const override { return paths_[i]; }
    const char* name(int i) const override { return paths_[i] + folder_len_; }
    const char* folder(int /*i*/) const override { return folder_; }

private:
    char paths_[kMaxFiles][kRunPathSize];
    char folder_[kRunPathSize];
    std::size_t folder_len_ = 0;
    int count_ = 0;
};

// Length of the folder part of a wildcard path, its last separator ('\\' or
// '/') included; 0 when there is none. With drive letters a lone "X:" at the
// start is a folder part too. Read a character at a time by `lead`: the
// second byte of a double-byte character is never a separator.
std::size_t folder_part_length(const char* wildcard_path, bool drive_letters, const LeadBytes& lead);

// True when name ends in ".bak" (compared byte for byte): backups are never
// listed.
bool is_backup_name(const char* name);

}  // namespace ravolin
