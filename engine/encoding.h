// The two text encodings the converter knows. Code page 932 (Shift-JIS) is
// the classic one; UTF-8 is what most sources are written in today.
#pragma once

namespace ravolin {

enum class Encoding { kCp932, kUtf8 };

}  // namespace ravolin
