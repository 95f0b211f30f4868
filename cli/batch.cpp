#include "cli/batch.h"

namespace ravolin {

int cli_batch(FileSystem& fs, const CliFileList& list, int gather_errors, const CliOptions& options,
              CliOutput& out, const std::atomic<bool>& cancel) {
    RunInput input{"", options.tab_text};
    input.files = &list;
    input.gather_errors = gather_errors;
    Encoding chosen;
    input.encoding = file_encoding(options, &chosen);
    RunCounts counts;
    const RunOutcome outcome = run_batch(fs, input, out, cancel, &counts);
    if (outcome == RunOutcome::kCancelled) {
        // What the window's log gets; it always shows, as the run's last word.
        out.line("aborted.\r\n");
        return 1;
    }
    return counts.refused == 0 && counts.skipped == 0 && counts.errors == 0 ? 0 : 1;
}

}  // namespace ravolin
