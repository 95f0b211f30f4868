#pragma once

#ifdef _WIN32
#define RAVOLIN_DEFAULT_SPEC ".\\*.c"
#else
#define RAVOLIN_DEFAULT_SPEC "./*.c"
#endif

namespace ravolin {
// One batch run over spec with the tab size text; prints the report and
// returns the exit status (0 all fine, 1 a file was refused or failed).
int cli_batch(const char* spec, const char* tab_text);
}  // namespace ravolin
