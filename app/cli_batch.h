#pragma once

#ifdef _WIN32
#define RAVOLIN_DEFAULT_PATTERN ".\\*.c"
#else
#define RAVOLIN_DEFAULT_PATTERN "./*.c"
#endif

namespace ravolin {
// One batch run over wildcard_path with the tab size text; prints the report and
// returns the exit status (0 all fine, 1 a file was refused or failed).
int cli_batch(const char* wildcard_path, const char* tab_text);
}  // namespace ravolin
