// Putting new bytes in a file's place through the seam, the way that leaves
// the file whole at every moment: written to a temporary file beside the
// file's real target (a symbolic link's target), flushed to disk, then
// renamed over it in one step. A file with several hard links is rewritten
// where it is instead, since a rename would split it from its other names.
#pragma once
#include "batch/file_system.h"

namespace ravolin {

enum class InPlace {
    kDone,
    kUntouched,  // the target could not even be opened
    kDamaged,    // the target was written part-way
};

// Holds what a replacement works in: no buffer on the stack, none allocated.
// One per run; a caller may keep it in static storage.
class Replacer {
public:
    // A fresh temporary name (batch/temp_name.h) in the folder of path; with
    // mark, the name of a mark.
    bool temp_beside(FileSystem& fs, char* out, const char* path, bool mark = false);

    // Rewrites target where it is with the bytes of from, down to the disk.
    // Never when from is target itself under another name: opening target
    // for writing would empty the bytes about to be read.
    InPlace write_in_place(FileSystem& fs, const char* from, const char* target);

    // Makes path (through a symbolic link: its target) hold a copy of from's
    // bytes, keeping its mode, owner and group. kUntouched: path is as it was.
    InPlace replace_with_copy(FileSystem& fs, const char* from, const char* path);

private:
    bool copy_bytes(InFile& in, OutFile& out);

    // Never reset: temporary names stay unique over every run of the process.
    unsigned long temp_serial_ = 0;
    unsigned char buffer_[1 << 16];
    char target_[kRunPathSize];
    char temp_[kRunPathSize];
};

}  // namespace ravolin
