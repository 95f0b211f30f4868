// Names of the run's temporary files: ".ravolin-PID-SERIAL.tmp" beside the
// file they belong to. A leading dot and the .tmp ending keep ordinary file
// patterns from matching them; the gathering never lists them anyway, and a
// later run in the folder removes those that no live process owns.
//
// A mark ".ravolin-PID-SERIAL.todo.tmp" holds the bare name of a file whose
// NAME.bak has been named while the file itself may not yet be replaced: a
// process killed between the two leaves the original under two names, and
// the mark is how a later process knows that the backup is its own unfinished
// work rather than the user's.
#pragma once
#include <cstddef>

#include "batch/file_system.h"

namespace ravolin {

// Pattern that finds them in a folder.
constexpr char kTempPattern[] = ".ravolin-*.tmp";

// Writes folder (may be empty; kept as given, separator included) followed by
// a temporary name into out. False when it does not fit.
bool make_temp_name(char* out, std::size_t cap, const char* folder, std::size_t folder_len,
                    unsigned long pid, unsigned long serial, bool mark = false);

// The process id a temporary name carries; false when name is not one of
// ours.
bool temp_name_owner(const char* name, unsigned long* pid, bool* mark = nullptr);

inline bool is_temp_name(const char* name) {
    unsigned long pid;
    return temp_name_owner(name, &pid);
}

// Writes a mark for the file named (bare) into mark, a fresh temporary path.
FsError write_mark(FileSystem& fs, const char* mark, const char* name);

// Removes the temporary files of earlier, killed runs from folder ("" for
// the current one, else ending in a separator): those whose process is
// gone, and any of this process (it runs one batch at a time). A mark's
// unfinished work is finished first: a NAME.bak that is still NAME itself,
// or holds NAME's very bytes, is removed, so the file is as it was before
// that run (and no later run refuses it); one that differs is the backup of
// a converted file and stays.
void remove_leftover_temps(FileSystem& fs, const char* folder);

}  // namespace ravolin
