#include "cli/walk.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "cli/folders.h"

namespace ravolin {
namespace {

// Their files are the tool's own history, never sources to convert.
const char* const kVersionControlFolders[] = {".git", ".hg", ".svn", "CVS", ".bzr"};

bool is_version_control(const std::string& name) {
    for (const char* vc : kVersionControlFolders) {
        if (name == vc) return true;
    }
    return false;
}

bool has_wildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

// "./src/" is shown as "src/": names read as they would be typed.
std::string without_dot_prefix(std::string folder) {
    while (folder.size() >= 2 && folder[0] == '.' && (folder[1] == '/' || folder[1] == '\\')) folder.erase(0, 2);
    return folder;
}

void error_line(RunSink& report, const std::string& what, const char* why) {
    std::string text = "Error: " + what + " (" + why + ")\r\n";
    report.line(text.c_str());
}

class ArgumentWalk {
public:
    ArgumentWalk(FileSystem& fs, CliFileList& list, RunSink& report, const std::atomic<bool>& cancel)
        : fs_(fs), list_(list), report_(report), cancel_(cancel) {
        absolute_folder("", start_);
    }

    // Returns the number of error lines.
    int walk(const std::string& arg, bool recursive) {
        // The walk moves the current directory; each argument is read from
        // where the program started.
        if (!fs_.set_current_dir(start_.c_str())) {
            error_line(report_, arg, "cannot return to the starting folder");
            return 1;
        }
        const std::size_t folder_len = folder_part_length(arg.c_str(), fs_.has_drive_letters(), fs_.lead_bytes());
        std::string folder = arg.substr(0, folder_len);
        std::string pattern = arg.substr(folder_len);
        if (pattern.empty()) {
            pattern = "*.c";
        } else if (!has_wildcard(pattern) && is_folder(arg.c_str())) {
            folder = arg + kFolderSeparator;
            pattern = "*.c";
        }
        std::string where;
        if (!absolute_folder(folder, where)) {
            error_line(report_, arg, "no such folder");
            return 1;
        }
        int errors = 0;
        const long offered = list_.offered();
        std::vector<std::pair<std::string, std::string>> to_visit{{where, without_dot_prefix(folder)}};
        while (!to_visit.empty() && !cancel_.load(std::memory_order_relaxed)) {
            const auto [here, shown] = std::move(to_visit.back());
            to_visit.pop_back();
            if (!fs_.set_current_dir(here.c_str())) {
                if (here == where) {
                    error_line(report_, arg, "no such folder");
                } else {
                    error_line(report_, shown, "cannot open folder");
                }
                ++errors;
                continue;
            }
            list_.enter_folder(here, shown);
            errors += gather_files(fs_, pattern.c_str(), list_, report_);
            if (!recursive) continue;
            const std::vector<std::string> subs = subfolders(here);
            for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
                if (is_version_control(*it)) continue;
                to_visit.emplace_back(here + *it + kFolderSeparator, shown + *it + kFolderSeparator);
            }
        }
        if (!has_wildcard(pattern) && list_.offered() == offered && errors == 0 && !cancel_.load()) {
            error_line(report_, arg, "no matching file");
            ++errors;
        }
        return errors;
    }

private:
    FileSystem& fs_;
    CliFileList& list_;
    RunSink& report_;
    const std::atomic<bool>& cancel_;
    std::string start_;
};

}  // namespace

int gather_arguments(FileSystem& fs, const CliOptions& options, CliFileList& list, RunSink& report,
                     const std::atomic<bool>& cancel) {
    ArgumentWalk walk(fs, list, report, cancel);
    if (options.operands.empty()) return walk.walk(RAVOLIN_DEFAULT_PATTERN, options.recursive);
    int errors = 0;
    for (const char* arg : options.operands) errors += walk.walk(arg, options.recursive);
    return errors;
}

}  // namespace ravolin
