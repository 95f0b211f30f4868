#include "app/cli_batch.h"

#include <cstdio>

namespace ravolin {
int cli_batch(const char* spec, const char* tab_text) {
    (void)spec;
    (void)tab_text;
    std::fprintf(stderr, "ravolin-cli: batch mode is not built yet\n");
    return 2;
}
}  // namespace ravolin
