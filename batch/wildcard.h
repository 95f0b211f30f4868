// Name matching with the wildcards of the Win32 file search, for platforms
// whose own search has none: '*' matches any run of bytes (also none), '?'
// exactly one byte, and a pattern ending in ".*" also matches the name
// without that ending ("*.*" matches every name, "notes.*" matches "notes").
// Bytes compare exactly, so matching is case-sensitive.
#pragma once

namespace ravolin {

bool wildcard_match(const char* pattern, const char* name);

}  // namespace ravolin
