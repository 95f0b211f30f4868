// A unified diff of one file's conversion, exact to the byte: a line is
// everything up to and including its LF, so a CR that the conversion adds
// shows in the diff, and `patch -p0` or `git apply -p0` makes exactly the
// change the run would make.
#pragma once
#include <string>

namespace ravolin {

// Appends to out the diff that turns before into after, both the whole
// file's bytes, under the name path on both sides. Nothing when they are
// equal. Lines correspond by position (a conversion keeps every line where
// it is), so a hunk replaces the lines that differ and removes or adds any
// that one side has past the other's end; three lines of context.
void append_unified_diff(const std::string& path, const std::string& before, const std::string& after,
                         std::string& out);

}  // namespace ravolin
