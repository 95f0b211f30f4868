#include "cli/batch.h"

#include "batch/run.h"

namespace ravolin {

void cli_batch(FileSystem& fs, const CliFileList& list, const CliOptions& options, Report& report,
               const std::atomic<bool>& cancel) {
    // Large and used once: static storage rather than the stack.
    static BatchRun run;
    RunInput input;
    input.files = &list;
    input.tab_size = options.tab_size;
    input.encoding = options.encoding;
    input.style = options.style;
    run.run(fs, input, report, cancel);
}

}  // namespace ravolin
