// The little ravolin-cli asks of a terminal.
#pragma once
#include <cstdio>

namespace ravolin {

bool is_terminal(std::FILE* f);
// Columns of the terminal behind f; 80 when unknown.
int terminal_width(std::FILE* f);

}  // namespace ravolin
