#pragma once
#include <string>

#include "engine/text_stream.h"

namespace ravolin::test {

struct Converted {
    std::string text;
    int tabs = 0;
    int dots = 0;
};

// Runs the engine over in with the text-stream rules; chunk limits each read
// (0: as large as the reader asks), as a pipe would.
Converted convert(const std::string& in, int tab_size, std::size_t chunk = 0);

}  // namespace ravolin::test
