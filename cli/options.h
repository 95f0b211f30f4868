// ravolin-cli's command line, read with getopt_long: what to do, with which
// tab size and encoding, on which files.
#pragma once
#include <vector>

#include "engine/encoding.h"

namespace ravolin {

enum class CliMode { kRun, kCheck, kDiff, kRestore, kFilter, kHelp, kVersion };
enum class CliEncoding { kAuto, kCp932, kUtf8 };

struct CliOptions {
    CliMode mode = CliMode::kRun;
    const char* tab_text = "4";  // as given; always a whole number 1..40
    int tab_size = 4;
    CliEncoding encoding = CliEncoding::kAuto;
    bool recursive = false;
    bool quiet = false;
    std::vector<const char*> operands;  // FILE, PATTERN and FOLDER arguments, in order
};

// Reads argv into options. Returns true to go on; false after a usage error,
// which has been named on standard error (exit status 2).
bool parse_options(int argc, char** argv, CliOptions& options);

// How files are read: the encoding chosen with --encoding, or nullptr for
// auto: each file's own, told from its bytes by the run. out holds the
// chosen one.
const Encoding* file_encoding(const CliOptions& options, Encoding* out);

// The --help text.
extern const char kCliHelp[];

}  // namespace ravolin
