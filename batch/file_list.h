// The files of a run: gathered first, handled one by one once the whole list
// is there, so that backups the run makes never enter it. The caller may
// bring its own list: the window's run uses a fixed table of 500 names, the
// command line a list without limit that spans several folders.
#pragma once
#include <cstddef>

#include "batch/file_system.h"

namespace ravolin {

enum class AddResult {
    kAdded,    // taken (or already there)
    kTooLong,  // not taken: the name does not fit an entry
};

class FileList {
public:
    virtual ~FileList() = default;
    // Takes one bare name, found in the folder being searched.
    virtual AddResult add(const char* name) = 0;
    // True when no name fits any more: the search ends.
    virtual bool full() const { return false; }
    virtual int count() const = 0;
    virtual const char* name(int i) const = 0;
    // The folder to make current before entry i is handled; nullptr when the
    // entry lies in the folder the run is already in.
    virtual const char* folder(int i) const {
        (void)i;
        return nullptr;
    }
    // What the report lines show in front of entry i's name ("src/lib/"), or
    // "" for the bare name.
    virtual const char* shown_folder(int i) const {
        (void)i;
        return "";
    }
};

// The window's list: 500 names of at most kRunPathSize - 1 bytes, in place.
// The search ends with the 500th name; later ones go unmentioned.
class FixedFileList final : public FileList {
public:
    static constexpr int kMaxFiles = 500;
    void clear() { count_ = 0; }
    AddResult add(const char* name) override;
    bool full() const override { return count_ >= kMaxFiles; }
    int count() const override { return count_; }
    const char* name(int i) const override { return names_[i]; }

private:
    char names_[kMaxFiles][kRunPathSize];
    int count_ = 0;
};

// The folder a walk over a list is in: entries of one folder follow each
// other, so it changes only between stretches of them.
class ListedFolder {
public:
    // Makes folder current unless it already is (nullptr: stay). False when
    // that failed; the next call tries again.
    bool enter(FileSystem& fs, const char* folder);
    // True when enter(fs, folder) would change the current folder.
    bool changes(const char* folder) const;

private:
    const char* current_ = nullptr;
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
