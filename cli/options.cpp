#include "cli/options.h"
#include "cli/terminal.h"

#include <getopt.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace ravolin {
namespace {

// Values of the options that have no one-letter form: above any character.
enum : int {
    kOptCheck = 256, kOptDiff, kOptRestore, kOptHazards, kOptForce, kOptEncoding, kOptVersion,
    kOptLeading, kOptSmart, kOptExpand, kOptNoEditorconfig, kOptLines, kOptGit,
};

const option kLongOptions[] = {
    {"tab-size", required_argument, nullptr, 't'},
    {"recursive", no_argument, nullptr, 'r'},
    {"quiet", no_argument, nullptr, 'q'},
    {"check", no_argument, nullptr, kOptCheck},
    {"diff", no_argument, nullptr, kOptDiff},
    {"restore", no_argument, nullptr, kOptRestore},
    {"hazards", no_argument, nullptr, kOptHazards},
    {"force", no_argument, nullptr, kOptForce},
    {"encoding", required_argument, nullptr, kOptEncoding},
    {"leading", no_argument, nullptr, kOptLeading},
    {"smart", no_argument, nullptr, kOptSmart},
    {"expand", no_argument, nullptr, kOptExpand},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kOptVersion},
    {"no-editorconfig", no_argument, nullptr, kOptNoEditorconfig},
    {"lines", required_argument, nullptr, kOptLines},
    {"git", optional_argument, nullptr, kOptGit},
    {nullptr, 0, nullptr, 0},
};
// The leading ':' makes a missing value come back as ':', so that every
// message is ours and names what was wrong.
const char kShortOptions[] = ":t:rqh";

struct EncodingName {
    const char* name;
    std::optional<Encoding> encoding;  // none: auto
};
const EncodingName kEncodings[] = {
    {"auto", std::nullopt}, {"cp932", Encoding::kCp932}, {"utf-8", Encoding::kUtf8}, {"utf8", Encoding::kUtf8},
};

bool usage_error(const char* format, const char* what) {
    // The value named may be any text the user typed.
    std::string line = "ravolin-cli: ";
    const int n = std::snprintf(nullptr, 0, format, what);
    if (n > 0) {
        std::string named(static_cast<std::size_t>(n) + 1, '\0');
        std::snprintf(&named[0], named.size(), format, what);
        line += named.c_str();
    }
    line += "\nTry 'ravolin-cli --help' for more information.\n";
    write_text(stderr, line.data(), line.size());
    return false;
}

// A whole number from 1 to 40, digits only: a typo must not become a
// different tab size and convert files with it.
bool parse_strict_tab_size(const char* text, int& out) {
    int value = 0;
    if (*text == '\0') return false;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
        if (value > 40) return false;
    }
    if (value < 1) return false;
    out = value;
    return true;
}

// word is "--name=value" for an option that takes no value.
bool value_not_taken(const char* word, const char* eq) {
    char name[64];
    std::snprintf(name, sizeof name, "%.*s", static_cast<int>(eq - word), word);
    return usage_error("option '%s' takes no value", name);
}

bool set_mode(CliOptions& o, CliMode mode) {
    if (o.mode != CliMode::kRun && o.mode != mode) {
        return usage_error("%s", "choose one of --check, --diff, --restore and --hazards");
    }
    o.mode = mode;
    return true;
}

// The style the options name together: --leading narrows the run or
// --expand to the indentation; --smart decides the indentation and the
// alignment itself, and cannot go with either.
bool settle_style(CliOptions& o, bool leading, bool smart, bool expand) {
    if (smart && expand) return usage_error("%s", "--smart and --expand exclude each other");
    if (smart && leading) return usage_error("%s", "--smart and --leading exclude each other");
    if (smart) o.style = Style::kSmart;
    else if (expand) o.style = leading ? Style::kExpandLeading : Style::kExpand;
    else if (leading) o.style = Style::kLeading;
    return true;
}

bool check_operands(CliOptions& o) {
    // Anywhere else it could only be taken for a licence to overwrite.
    if (o.force && o.mode != CliMode::kRestore) return usage_error("%s", "--force goes with --restore only");
    bool filter = false;
    for (const char* a : o.operands) {
        if (*a == '\0') return usage_error("%s", "an empty file name was given");
        if (std::strcmp(a, "-") == 0) filter = true;
    }
    if (!o.lines.empty() || o.git) {
        const char* which = o.git ? "--git" : "--lines";
        if (o.git && !o.lines.empty()) return usage_error("%s", "--lines and --git exclude each other");
        if (o.mode != CliMode::kRun && o.mode != CliMode::kCheck && o.mode != CliMode::kDiff) {
            return usage_error("%s goes with a run, --check and --diff only", which);
        }
        if (filter) return usage_error("%s takes files, not '-' (standard input)", which);
        // Line numbers name the lines of one file.
        if (!o.lines.empty() && (o.operands.size() != 1 || o.recursive)) {
            return usage_error("%s", "--lines takes exactly one file");
        }
        settle_ranges(o.lines);
    }
    if (!filter) return true;
    if (o.operands.size() > 1) return usage_error("%s", "'-' (standard input) takes no other files");
    if (o.mode != CliMode::kRun || o.recursive) {
        return usage_error("%s", "'-' (standard input) goes with -t, --encoding and the styles only");
    }
    o.mode = CliMode::kFilter;
    return true;
}

}  // namespace

bool parse_options(int argc, char** argv, CliOptions& o) {
    opterr = 0;
    char name[64];
    bool leading = false, smart = false, expand = false;
    for (;;) {
        const int c = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
        if (c == -1) break;
        switch (c) {
            case 't':
                if (!parse_strict_tab_size(optarg, o.tab_size)) {
                    return usage_error("invalid tab size '%s': give a whole number from 1 to 40", optarg);
                }
                o.tab_size_given = true;
                break;
            case 'r':
                o.recursive = true;
                break;
            case 'q':
                o.quiet = true;
                break;
            case kOptCheck:
                if (!set_mode(o, CliMode::kCheck)) return false;
                break;
            case kOptDiff:
                if (!set_mode(o, CliMode::kDiff)) return false;
                break;
            case kOptRestore:
                if (!set_mode(o, CliMode::kRestore)) return false;
                break;
            case kOptHazards:
                if (!set_mode(o, CliMode::kHazards)) return false;
                break;
            case kOptForce:
                o.force = true;
                break;
            case kOptEncoding: {
                bool known = false;
                for (const EncodingName& e : kEncodings) {
                    if (std::strcmp(optarg, e.name) == 0) {
                        o.encoding = e.encoding;
                        known = true;
                    }
                }
                if (!known) return usage_error("invalid encoding '%s': use auto, cp932 or utf-8", optarg);
                break;
            }
            case kOptLeading:
                leading = true;
                break;
            case kOptSmart:
                smart = true;
                break;
            case kOptExpand:
                expand = true;
                break;
            case 'h':
                o.mode = CliMode::kHelp;
                return true;
            case kOptNoEditorconfig:
                o.editorconfig = false;
                break;
            case kOptLines: {
                LineRange r;
                if (!parse_line_range(optarg, &r)) {
                    return usage_error("invalid line range '%s': give A-B, whole numbers from 1 with A <= B", optarg);
                }
                o.lines.push_back(r);
                break;
            }
            case kOptGit:
                o.git = true;
                if (optarg) {
                    // A revision that starts with '-' would be read by git as an option.
                    if (*optarg == '\0' || *optarg == '-') return usage_error("invalid revision '%s'", optarg);
                    o.git_rev = optarg;
                }
                break;
            case kOptVersion:
                o.mode = CliMode::kVersion;
                return true;
            case ':': {
                // The word read last is the option as written ("--tab-size"),
                // unless it was a cluster of letters ("-qt"). Some getopt_long
                // (mingw-w64's) also come here for a value given to an
                // option that takes none.
                const char* word = argv[optind - 1];
                if (std::strncmp(word, "--", 2) == 0) {
                    const char* eq = std::strchr(word, '=');
                    if (eq) return value_not_taken(word, eq);
                    return usage_error("option '%s' needs a value", word);
                }
                std::snprintf(name, sizeof name, "-%c", optopt);
                return usage_error("option '%s' needs a value", name);
            }
            default: {
                // An unknown short option is in optopt; a long one is the
                // word read last, where optopt is set only when the option
                // is known but was given a value it does not take.
                const char* word = argv[optind - 1];
                if (std::strncmp(word, "--", 2) != 0) {
                    std::snprintf(name, sizeof name, "-%c", optopt);
                    return usage_error("unknown option '%s'", name);
                }
                const char* eq = std::strchr(word, '=');
                if (eq && optopt != 0) return value_not_taken(word, eq);
                return usage_error("unknown option '%s'", word);
            }
        }
    }
    if (!settle_style(o, leading, smart, expand)) return false;
    for (int i = optind; i < argc; ++i) o.operands.push_back(argv[i]);
    return check_operands(o);
}

}  // namespace ravolin
