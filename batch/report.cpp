#include "batch/report.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace ravolin {
namespace {

int saturated_sum(int a, int b) { return a > INT_MAX - b ? INT_MAX : a + b; }

// A line cut at cap keeps its CR LF, so the next one still starts a line.
std::size_t ended(int n, char* out, std::size_t cap) {
    if (n < 0) {
        if (cap > 0) out[0] = '\0';
        return 0;
    }
    if (static_cast<std::size_t>(n) >= cap && cap >= 3) {
        out[cap - 3] = '\r';
        out[cap - 2] = '\n';
    }
    return static_cast<std::size_t>(n);
}

struct Label {
    const char* text;
    const char* fixed_why;  // nullptr: the event's why, in brackets when not ""
};

Label label_of(FileOutcome outcome) {
    switch (outcome) {
        case FileOutcome::kConverted: return {"Converted: ", ""};
        case FileOutcome::kUnchanged: return {"Non conv.: ", ""};
        case FileOutcome::kRestored: return {"Restored  : ", ""};
        case FileOutcome::kRefused: return {"Refused   : ", ""};
        case FileOutcome::kSkipped: return {"Skipped   : ", nullptr};
        case FileOutcome::kError: return {"Error: ", nullptr};
        case FileOutcome::kAborted: return {"Aborted   : ", " (left as it was)"};
        case FileOutcome::kChanged: break;
    }
    return {nullptr, nullptr};
}

}  // namespace

void format_counts(CountWords words, int tabs, int expanded, int dots, char* out, std::size_t cap) {
    switch (words) {
        case CountWords::kTabs: std::snprintf(out, cap, "%d tabs, %d dots", tabs, dots); break;
        case CountWords::kTabsAndSpaces:
            std::snprintf(out, cap, "%d tabs, %d tabs to spaces, %d dots", tabs, expanded, dots);
            break;
        case CountWords::kSpaces: std::snprintf(out, cap, "%d tabs to spaces, %d dots", expanded, dots); break;
    }
}

bool is_as_asked(FileOutcome outcome) {
    return outcome == FileOutcome::kConverted || outcome == FileOutcome::kUnchanged ||
           outcome == FileOutcome::kRestored || outcome == FileOutcome::kChanged;
}

void RunCounts::add(const FileEvent& e) {
    switch (e.outcome) {
        case FileOutcome::kConverted: ++converted; break;
        case FileOutcome::kUnchanged: ++non_converted; break;
        case FileOutcome::kRestored: ++restored; break;
        case FileOutcome::kChanged: ++changed; break;
        case FileOutcome::kRefused: ++refused; break;
        case FileOutcome::kSkipped: ++skipped; break;
        case FileOutcome::kError: ++errors; break;
        case FileOutcome::kAborted: break;
    }
    if (e.outcome == FileOutcome::kConverted || e.outcome == FileOutcome::kUnchanged) {
        tabs = saturated_sum(tabs, e.tabs);
        dots = saturated_sum(dots, e.dots);
        expanded = saturated_sum(expanded, e.expanded);
    }
}

int exit_status(const RunCounts& c) {
    if (c.cancelled || c.skipped > 0 || c.errors > 0) return 1;
    switch (c.kind) {
        case RunKind::kConvert: return c.refused > 0 ? 1 : 0;
        case RunKind::kCheck: return c.changed > 0 ? 1 : 0;
        case RunKind::kRestore: return 0;
    }
    return 1;
}

std::size_t format_file_line(const FileEvent& e, char* out, std::size_t cap) {
    const Label label = label_of(e.outcome);
    if (!label.text) {
        if (cap > 0) out[0] = '\0';
        return 0;
    }
    char counts[96] = "";
    if (e.outcome == FileOutcome::kConverted) {
        counts[0] = '(';
        format_counts(e.words, e.tabs, e.expanded, e.dots, counts + 1, sizeof counts - 2);
        std::strcat(counts, ")");
    }
    const bool bracketed = !label.fixed_why && e.why[0] != '\0';
    const char* fixed = label.fixed_why ? label.fixed_why : "";
    const int n = std::snprintf(out, cap, "%s%s%s%s%s%s%s%s\r\n", label.text, e.folder, e.name, counts, fixed,
                                bracketed ? " (" : "", bracketed ? e.why : "", bracketed ? ")" : "");
    return ended(n, out, cap);
}

std::size_t format_summary(const RunCounts& c, char* out, std::size_t cap) {
    if (c.kind == RunKind::kCheck) {
        if (cap > 0) out[0] = '\0';
        return 0;
    }
    if (c.cancelled) return ended(std::snprintf(out, cap, "aborted.\r\n"), out, cap);
    char skipped[32] = "", errors[32] = "", totals[96] = "";
    format_counts(c.words, c.tabs, c.expanded, c.dots, totals, sizeof totals);
    if (c.skipped > 0) std::snprintf(skipped, sizeof skipped, ", Skipped = %d", c.skipped);
    if (c.errors > 0) std::snprintf(errors, sizeof errors, ", Errors = %d", c.errors);
    const int n =
        c.kind == RunKind::kRestore
            ? std::snprintf(out, cap, "Restored files = %d%s%s\r\n", c.restored, skipped, errors)
            : std::snprintf(out, cap, "Converted files = %d (Total %s), Non conv. = %d, Refused = %d%s%s\r\n",
                            c.converted, totals, c.non_converted, c.refused, skipped, errors);
    return ended(n, out, cap);
}

}  // namespace ravolin
