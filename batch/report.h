// The report of a run, of --check and of --restore, typed: what happened to
// each file is a FileEvent, the end of the run a RunCounts. Sinks format
// them with format_file_line and format_summary, the one place that knows
// the report's words, and Report keeps the counts the events add up to.
#pragma once
#include <cstddef>

#include "engine/engine.h"

namespace ravolin {

// Which counts a converted file's line and the summary show: tabs put where
// spaces were (the run's words), tabs that became spaces, or both.
enum class CountWords : unsigned char { kTabs, kTabsAndSpaces, kSpaces };

// The counts that say what a style does.
constexpr CountWords count_words(Style style) {
    return style == Style::kSmart                                             ? CountWords::kTabsAndSpaces
           : style == Style::kExpand || style == Style::kExpandLeading ? CountWords::kSpaces
                                                                             : CountWords::kTabs;
}

// What became of one file (or of an argument that named no file).
enum class FileOutcome : unsigned char {
    kConverted,  // "Converted: NAME(T tabs, D dots)", or the counts of CountWords
    kUnchanged,  // "Non conv.: NAME": nothing to convert
    kRestored,   // "Restored  : NAME": its backup is back in its place
    kChanged,    // --check and --diff: the file would change (no report line)
    kRefused,    // "Refused   : NAME": its backup exists
    kSkipped,    // "Skipped   : NAME (WHY)": left as it was on purpose
    kError,      // "Error: NAME" or "Error: NAME (WHY)": left as it was
    kAborted,    // "Aborted   : NAME (left as it was)": the run was cancelled
};

struct FileEvent {
    FileOutcome outcome = FileOutcome::kError;
    // The report shows folder followed by name: folder is "" or the folder
    // as the user wrote it, ending in a separator.
    const char* folder = "";
    const char* name = "";
    int tabs = 0, dots = 0;  // kConverted
    int expanded = 0;        // kConverted: tabs that became spaces
    CountWords words = CountWords::kTabs;
    const char* why = "";    // kSkipped, kError: in a few words; "" for none
};

// True for the outcomes that are what was asked for; quiet mode shows only
// the others (and any outcome added later).
bool is_as_asked(FileOutcome outcome);

enum class RunKind : unsigned char { kConvert, kCheck, kRestore };

struct RunCounts {
    RunKind kind = RunKind::kConvert;
    CountWords words = CountWords::kTabs;
    int converted = 0, tabs = 0, dots = 0, non_converted = 0, refused = 0, errors = 0, skipped = 0;
    int expanded = 0;
    int restored = 0, changed = 0;
    // Files that matched but were not looked at: the window's run takes 500.
    int left_out = 0;
    bool cancelled = false;

    // Counts one event; tabs and dots stay at INT_MAX once their sums pass it.
    void add(const FileEvent& event);
};

// 0 when every file was done as asked (--check, --diff: nothing would
// change), 1 otherwise, a cancelled run included.
int exit_status(const RunCounts& counts);

// The line of one event into out, ending in "\r\n". Returns its length; when
// that is cap or more the line is cut but still ends in "\r\n" (cap >= 3).
// kChanged has no line: 0.
std::size_t format_file_line(const FileEvent& event, char* out, std::size_t cap);

// A converted file's counts as words says, without brackets: "T tabs, D
// dots", "T tabs, S tabs to spaces, D dots" or "S tabs to spaces, D dots".
void format_counts(CountWords words, int tabs, int expanded, int dots, char* out, std::size_t cap);

// The last line of a run, the same way: for a conversion "Converted files =
// C (Total T tabs, D dots), Non conv. = N, Refused = R" (the counts in the
// parentheses as counts.words says); for a restore
// "Restored files = R"; ", Skipped = S" and ", Errors = E" follow only when
// not 0, so that the line stays the same for runs without either. A
// cancelled run ends with "aborted." instead. --check has no last line: 0.
std::size_t format_summary(const RunCounts& counts, char* out, std::size_t cap);

// Where the report goes.
class RunSink {
public:
    virtual ~RunSink() = default;
    // One file (or argument), once its outcome is known.
    virtual void file(const FileEvent& event) = 0;
    // Once, at the end; counts.cancelled says whether the run was cut short.
    virtual void summary(const RunCounts& counts) = 0;
    // Entry index of count files, name (as listed, without its folder), is
    // about to be handled.
    virtual void starting(int /*index*/, int /*count*/, const char* /*name*/) {}
};

// Hands events to a sink and keeps their counts.
class Report {
public:
    Report(RunSink& sink, RunKind kind, CountWords words = CountWords::kTabs) : sink_(&sink) {
        counts.kind = kind;
        counts.words = words;
    }
    void file(const FileEvent& event) {
        counts.add(event);
        sink_->file(event);
    }
    void starting(int index, int count, const char* name) { sink_->starting(index, count, name); }
    // The end: the summary, or the word that the run was cancelled.
    void finish(bool cancelled) {
        counts.cancelled = cancelled;
        sink_->summary(counts);
    }

    RunCounts counts;

private:
    RunSink* sink_;
};

}  // namespace ravolin
