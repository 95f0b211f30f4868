// ravolin-cli's command line, read with getopt_long: what to do, with which
// tab size and encoding, on which files.
#pragma once
#include <optional>
#include <vector>

#include "engine/line_merge.h"

#include "engine/encoding.h"
#include "engine/engine.h"

namespace ravolin {

enum class CliMode { kRun, kCheck, kDiff, kRestore, kHazards, kFilter, kHelp, kVersion };
struct CliOptions {
    CliMode mode = CliMode::kRun;
    int tab_size = 4;  // 1..40
    bool tab_size_given = false;  // -t: it wins over .editorconfig
    // Each file's .editorconfig files give its tab size (when -t is not
    // given) and may leave it alone (indent_style = space).
    bool editorconfig = true;
    // How bytes >= 0x80 are read; none (auto): each file's own, told from
    // its bytes.
    std::optional<Encoding> encoding;
    // Which blanks a run, --check, --diff and the filter rewrite.
    Style style = Style::kTabs;
    bool recursive = false;
    bool quiet = false;
    // --restore: put a backup back even over a file edited since it was
    // converted.
    bool force = false;
    // --lines: only these lines of the one file are converted.
    LineRanges lines;
    // --git[=REV]: only the lines that differ from REV (git_rev) in each file.
    bool git = false;
    const char* git_rev = "HEAD";
    std::vector<const char*> operands;  // FILE, PATTERN and FOLDER arguments, in order
};

// Reads argv into options. Returns true to go on; false after a usage error,
// which has been named on standard error (exit status 2).
bool parse_options(int argc, char** argv, CliOptions& options);

// The --help text.
extern const char kCliHelp[];

}  // namespace ravolin
