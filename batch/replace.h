// Putting new bytes in a file's place through the seam, the way that leaves
// the file whole at every moment: written to a temporary file beside the
// file's real target (a symbolic link's target), flushed to disk, then
// renamed over it in one step. A file with several hard links is rewritten
// where it is instead, since a rename would split it from its other names.
#pragma once
#include "batch/file_system.h"

namespace ravolin {

// A fresh temporary name (batch/temp_name.h) in the folder of path.
bool temp_beside(FileSystem& fs, char* out, const char* path);

enum class InPlace {
    kDone,
    kUntouched,  // the target could not even be opened
    kDamaged,    // the target was written part-way
};

// Rewrites target where it is with the bytes of from, down to the disk.
InPlace write_in_place(FileSystem& fs, const char* from, const char* target);

// Makes name (through a symbolic link: its target) hold a copy of from's
// bytes, keeping its mode, owner and group. kUntouched: name is as it was.
InPlace replace_with_copy(FileSystem& fs, const char* from, const char* name);

}  // namespace ravolin
