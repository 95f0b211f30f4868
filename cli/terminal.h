// The little ravolin-cli asks of a terminal.
#pragma once
#include <cstddef>
#include <cstdio>

namespace ravolin {

bool is_terminal(std::FILE* f);
// Columns of the terminal behind f; 80 when unknown.
int terminal_width(std::FILE* f);

// Writes UTF-8 text to f: on a Windows console as Unicode (the console's
// code page could not show every name), elsewhere as the bytes they are.
// False when the write failed.
bool write_text(std::FILE* f, const char* text, std::size_t n);

}  // namespace ravolin
