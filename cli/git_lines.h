// --git: which lines of a file differ between a revision and the working
// tree, as git itself tells them (`git diff -U0`), so that only those are
// converted.
#pragma once
#include <string>

#include "engine/line_merge.h"

namespace ravolin {

// The lines of name, a file in folder (absolute, ending in a separator),
// that differ from rev: the new side of each hunk. A file git does not
// track: all of it. False when git could not be run or refused (no git, a
// folder outside any repository, an unknown revision); error then says
// why, with git's own first line where it gave one.
bool git_changed_lines(const std::string& folder, const std::string& name, const char* rev, LineRanges* lines,
                       std::string* error);

// The new side's lines of each "@@ -a,b +c,d @@" line in a -U0 diff.
void parse_hunk_lines(const std::string& diff, LineRanges* lines);

}  // namespace ravolin
