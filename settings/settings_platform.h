// The two file-system calls of the settings file that differ by platform.
#pragma once

namespace ravolin {

// Puts the file `from` in the place of `to`, replacing an existing `to` in
// one step. False (and `to` as it was) when that fails.
bool replace_file(const char* from, const char* to);

}  // namespace ravolin
