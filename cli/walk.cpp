#include "cli/walk.h"

#include <string>
#include <utility>
#include <vector>

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

// A folder named in a report line: as typed, without its last separator.
std::string folder_shown(std::string folder) {
    if (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    return folder.empty() ? "." : folder;
}

const char* reason(FsError error) {
    switch (error) {
        case FsError::kAccessDenied: return "access denied";
        case FsError::kNotFound: return "folder is gone";
        case FsError::kNameTooLong: return "name too long";
        case FsError::kInUse: return "in use";
        case FsError::kNoSpace: return "no space";
        default: return "I/O error";
    }
}

bool has_wildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

// "./src/" is shown as "src/": names read as they would be typed.
std::string without_dot_prefix(std::string folder) {
    while (folder.size() >= 2 && folder[0] == '.' && (folder[1] == '/' || folder[1] == '\\')) folder.erase(0, 2);
    return folder;
}

class ArgumentWalk {
public:
    ArgumentWalk(FileSystem& fs, CliFileList& list, Report& report, const std::atomic<bool>& cancel)
        : fs_(fs), list_(list), report_(report), cancel_(cancel) {}

    void walk(const std::string& arg, bool recursive) {
        const std::size_t folder_len = folder_part_length(arg.c_str(), fs_.has_drive_letters(), fs_.lead_bytes());
        std::string folder = arg.substr(0, folder_len);
        std::string pattern = arg.substr(folder_len);
        if (pattern.empty()) {
            pattern = "*.c";
        } else if (!has_wildcard(pattern) && fs_.is_folder(arg.c_str())) {
            folder = arg + kFolderSeparator;
            pattern = "*.c";
        }
        std::string where;
        if (!absolute(folder, where)) {
            error(arg, "no such folder");
            return;
        }
        int errors = 0;
        const long offered = list_.offered();
        std::vector<std::pair<std::string, std::string>> to_visit{{where, without_dot_prefix(folder)}};
        std::vector<std::string> subs;
        while (!to_visit.empty() && !cancel_.load(std::memory_order_relaxed)) {
            const auto [here, shown] = std::move(to_visit.back());
            to_visit.pop_back();
            list_.enter_folder(here, shown);
            const int before = report_.counts.errors;
            if (!fs_.is_folder(here.c_str())) {
                error(here == where ? arg : shown, here == where ? "no such folder" : "cannot open folder");
            } else if (!gather_files(fs_, here.c_str(), pattern.c_str(), list_, report_)) {
                // Listed part-way or not at all: never taken for an empty folder.
                const std::string why = std::string("cannot read folder: ") + reason(fs_.search_error());
                error(folder_shown(here == where ? folder : shown), why.c_str());
            }
            errors += report_.counts.errors - before;
            if (!recursive) continue;
            fs_.subfolders(here.c_str(), subs);
            for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
                if (is_version_control(*it)) continue;
                to_visit.emplace_back(here + *it + kFolderSeparator, shown + *it + kFolderSeparator);
            }
        }
        if (!has_wildcard(pattern) && list_.offered() == offered && errors == 0 && !cancel_.load()) {
            error(arg, "no matching file");
        }
    }

private:
    bool absolute(const std::string& folder, std::string& out) {
        char buffer[4 * kRunPathSize];
        if (!fs_.absolute_folder(folder.c_str(), buffer, sizeof buffer)) return false;
        out = buffer;
        return true;
    }

    void error(const std::string& what, const char* why) {
        FileEvent e;
        e.outcome = FileOutcome::kError;
        e.name = what.c_str();
        e.why = why;
        report_.file(e);
    }

    FileSystem& fs_;
    CliFileList& list_;
    Report& report_;
    const std::atomic<bool>& cancel_;
};

}  // namespace

void gather_arguments(FileSystem& fs, const CliOptions& options, CliFileList& list, Report& report,
                      const std::atomic<bool>& cancel) {
    ArgumentWalk walk(fs, list, report, cancel);
    if (options.operands.empty()) {
        walk.walk(RAVOLIN_DEFAULT_PATTERN, options.recursive);
        return;
    }
    for (const char* arg : options.operands) walk.walk(arg, options.recursive);
}

}  // namespace ravolin
