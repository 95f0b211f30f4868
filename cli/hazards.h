// --hazards: in code page 932 the second byte of many double-byte characters
// (表, ソ, 能, 十, 予 and more) is 0x5C, which any compiler that does not read
// the file as code page 932 takes for a backslash. In a string literal or a
// character constant it then starts an escape and changes the text; in a
// header name it breaks the include. Each such place is listed, compiler
// style, so that editors and CI can point at it; nothing is written. A line
// comment's last character is not listed: a run puts a dot after it. UTF-8
// and ASCII files have none.
#pragma once
#include <atomic>

#include "cli/file_list.h"
#include "cli/options.h"
#include "cli/output.h"

namespace ravolin {

// Prints "FILE:LINE:COL: warning: ..." on standard output for each place
// (LINE and COL from 1, COL in bytes). A file with any counts as kChanged, so
// the exit status is 1; unreadable and binary files are reported as --check
// reports them.
void cli_hazards(FileSystem& fs, const CliFileList& list, const CliOptions& options, CliOutput& out, Report& report,
                 const std::atomic<bool>& cancel);

// The character lead, 0x5C as UTF-8 ("表" for 0x95), or as "\x95\x5C" where
// code page 932 has none; out holds at least 12 bytes.
void hazard_character(unsigned char lead, char* out);

}  // namespace ravolin
