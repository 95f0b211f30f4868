// Bounded string helpers: every copy and join of the program's fixed-size
// buffers goes through these, so none can write past its target.
#pragma once
#include <cstddef>

namespace ravolin {

// Never write past cap bytes, always NUL-terminate (when cap > 0). They
// return false when the text had to be cut.
bool copy_text(char* dst, std::size_t cap, const char* src);
bool append_text(char* dst, std::size_t cap, const char* src);

}  // namespace ravolin
