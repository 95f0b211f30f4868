// ravolin-cli: the conversion engine and the batch run for scripts, hooks and
// CI. The command line is read in options.cpp and explained in
// help.cpp; the files are found by walk.cpp.
//   ravolin-cli [OPTION]... [FILE|PATTERN|FOLDER]...   run, report on stdout
//   ravolin-cli --check | --diff [OPTION]... [FILE...]   nothing written
//   ravolin-cli --restore [OPTION]... [FILE...]          backups put back
//   ravolin-cli --hazards [OPTION]... [FILE...]          0x5C second bytes in literals
//   ravolin-cli [-t N] [--encoding=E] -                filter: stdin to stdout
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/check.h"
#include "cli/editorconfig.h"
#include "cli/hazards.h"
#include "cli/filter.h"
#include "cli/git_lines.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/restore.h"
#include "cli/signals.h"
#include "cli/terminal.h"
#include "cli/walk.h"
#include "streams/read_ahead.h"
#include "streams/stdio_streams.h"
#include "base/utf16_text.h"
#include "base/version.h"
#include "batch/report.h"
#include "engine/engine.h"

namespace {

// The filter and all it works in: large buffers, so kept in static storage
// rather than on the stack, and built in place for the one run.
class Filter {
public:
    int run(int tab_size, ravolin::Style style, std::optional<ravolin::Encoding> encoding) {
        using namespace ravolin;
        set_binary_mode(stdin);
        set_binary_mode(stdout);
        FileSource file(stdin);
        FileSink sink(stdout);
        // A file is read ahead while the text is converted (on a thread of
        // its own where there is a processor for it); a pipe is not, so a
        // reader never waits on input that may not come.
        FilterResult r =
            is_regular_file(stdin)
                ? filter_.run(ahead_.emplace(file, read_ahead_thread_pays()), sink, tab_size, encoding, style)
                : filter_.run(file, sink, tab_size, encoding, style);
        ahead_.reset();  // ends its thread
        if (std::fflush(stdout) != 0 && r.kind != FilterResult::kReadError) r.kind = FilterResult::kWriteError;
        if (r.kind != FilterResult::kConverted) {
            std::fprintf(stderr, "ravolin-cli: %s\n", filter_message(r).c_str());
            return 1;
        }
        char counts[96];
        format_counts(count_words(style), r.tabs, r.expanded, r.dots, counts, sizeof counts);
        std::fprintf(stderr, "%s\n", counts);
        return 0;
    }

private:
    std::optional<ravolin::ReadAheadSource> ahead_;
    ravolin::CheckedFilter filter_;
};

// Everything but the filter: gather the files, then handle them.
int run_on_files(const ravolin::CliOptions& options) {
    using namespace ravolin;
    const std::atomic<bool>& cancel = catch_interrupts();
    FileSystem& fs = platform_file_system();
    const bool check = options.mode == CliMode::kCheck || options.mode == CliMode::kDiff ||
                       options.mode == CliMode::kHazards;
    // A diff must reach its reader byte for byte; --check and --diff keep
    // standard output for their list or diff and report on standard error.
    if (options.mode == CliMode::kDiff) set_binary_mode(stdout);
    CliOutput out(options.quiet, check ? stderr : stdout);
    Report report(out, check ? RunKind::kCheck : options.mode == CliMode::kRestore ? RunKind::kRestore : RunKind::kConvert,
                  count_words(options.style));
    CliFileList list;
    gather_arguments(fs, options, list, report, cancel);
    const bool converts = options.mode == CliMode::kRun || options.mode == CliMode::kCheck ||
                          options.mode == CliMode::kDiff;
    if (converts && options.editorconfig && editorconfig_supported()) {
        list.use_editorconfig(options.tab_size_given,
                              options.style == Style::kExpand || options.style == Style::kExpandLeading);
    }
    // Which lines to convert is settled for every file before any is
    // touched: a git that cannot answer stops the whole run.
    if (!options.lines.empty()) {
        if (list.count() > 1) {
            out.end();
            std::fputs("ravolin-cli: --lines takes exactly one file\n", stderr);
            interrupts_done();
            return 2;
        }
        if (list.count() == 1) list.set_lines(0, options.lines);
    }
    for (int i = 0; options.git && i < list.count(); ++i) {
        LineRanges lines;
        std::string error;
        if (!git_changed_lines(list.folder(i), list.name(i), options.git_rev, &lines, &error)) {
            out.end();
            const std::string line = "ravolin-cli: --git: " + list.shown_path(i) + ": " + error + "\n";
            write_text(stderr, line.data(), line.size());
            interrupts_done();
            return 2;
        }
        list.set_lines(i, std::move(lines));
    }
    out.set_list(&list);
    if (options.mode == CliMode::kHazards) {
        cli_hazards(fs, list, options, out, report, cancel);
    } else if (check) {
        cli_check(fs, list, options, out, report, cancel);
    } else if (options.mode == CliMode::kRestore) {
        cli_restore(fs, list, options, report, cancel);
    } else {
        cli_batch(fs, list, options, report, cancel);
    }
    int status = exit_status(report.counts);
    out.end();
    if (std::fflush(stdout) != 0 || out.failed()) {
        std::fputs("ravolin-cli: error writing the report\n", stderr);
        status = 1;
    }
    if (interrupt_status() != 0) status = interrupt_status();
    interrupts_done();
    return status;
}

}  // namespace

namespace {

int cli_main(int argc, char** argv) {
    ravolin::CliOptions options;
    if (!ravolin::parse_options(argc, argv, options)) return 2;
    switch (options.mode) {
        case ravolin::CliMode::kHelp:
            ravolin::write_text(stdout, ravolin::kCliHelp, std::strlen(ravolin::kCliHelp));
            return 0;
        case ravolin::CliMode::kVersion:
            std::printf("ravolin-cli " RAVOLIN_VERSION " (%s)\n", ravolin::scan_path());
            if (!ravolin::editorconfig_supported()) std::printf("This build reads no .editorconfig files.\n");
            return 0;
        case ravolin::CliMode::kFilter: {
            static Filter filter;
            return filter.run(options.tab_size, options.style, options.encoding);
        }
        default:
            return run_on_files(options);
    }
}

}  // namespace

#ifdef _WIN32
// The arguments as the system holds them, UTF-16, made UTF-8 like every
// path inside: the ANSI arguments would have turned a name outside the code
// page into '?', a wildcard that matches other files.
int wmain(int argc, wchar_t** wargv) {
    std::vector<std::string> args;
    std::vector<char*> argv;
    for (int i = 0; i < argc; ++i) {
        std::string arg;
        ravolin::utf16_to_utf8(reinterpret_cast<const char16_t*>(wargv[i]), std::wcslen(wargv[i]), arg);
        args.push_back(std::move(arg));
    }
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    return cli_main(argc, argv.data());
}
#else
int main(int argc, char** argv) { return cli_main(argc, argv); }
#endif
