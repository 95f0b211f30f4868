// Each listed file: its backup is copied under a temporary name, the
// conversion is written from that copy into a temporary file beside the file,
// both are flushed to disk, then the backup gets its NAME.bak name (never
// replacing one) and the converted file is put in place of the original in
// one rename. Whatever fails or is cancelled before that leaves the original
// untouched and no backup of it, so a later run converts it. A file with
// several hard links is rewritten in place instead (a rename would split it
// from its other names) and put back from its backup if that fails.
//
// A flush to disk costs about as much for many files as for one, so converted
// files wait in a small group that is flushed and put in place together; the
// flush of one group goes on while the next group is converted.
#include "batch/convert.h"

#include <climits>
#include <cstdio>
#include <optional>

#include "base/bounded_text.h"
#include "batch/replace.h"
#include "batch/temp_name.h"
#include "engine/engine.h"

namespace ravolin {
namespace {

constexpr char kBackupSuffix[] = ".bak";
constexpr int kMaxPending = 32;
constexpr long long kMaxPendingBytes = 8LL << 20;

// A converted file waiting for its group's flush.
struct Pending {
    const char* name;              // as listed, in the current folder
    const char* shown_folder;      // what its report line shows in front of name
    char target[kRunPathSize];     // what the conversion replaces: name, or a link's target
    char converted[kRunPathSize];  // the converted bytes, beside target
    char backup[kRunPathSize];     // the original's copy, beside name
    FileInfo info;                 // the file as it was copied
    int tabs, dots;
};

struct Group {
    Pending files[kMaxPending];
    int count = 0;
    long long bytes = 0;
    const char* names[2 * kMaxPending];  // what the flush is asked to do
    FsError results[2 * kMaxPending];
};

// One group fills while the one before it is flushed.
Group g_groups[2];
Group* g_filling = &g_groups[0];
Group* g_flushing = nullptr;

char g_backup_name[kRunPathSize];
char g_detail[kRunPathSize + 64];
EngineState g_engine;
// Rebuilt in place for every file; their buffers are large, so not on the stack.
std::optional<TextReader> g_reader;
std::optional<TextWriter> g_writer;

bool make_backup_name(const char* name) {
    return copy_text(g_backup_name, kRunPathSize, name) && append_text(g_backup_name, kRunPathSize, kBackupSuffix);
}

void discard(FileSystem& fs, const Pending& p) {
    fs.remove(p.converted);
    fs.remove(p.backup);
}

void report_refused(Report& report, const char* name) {
    report.line("Refused   : %s\r\n", name);
    ++report.counts.refused;
}

// Why a backup could not be made, in a few words. The source is the file
// itself; anything else is about the backup's folder.
struct BackupReason {
    FsError error;
    const char* source;  // the file could not be read
    const char* backup;  // the backup could not be written
};
constexpr BackupReason kBackupReasons[] = {
    {FsError::kAccessDenied, "access denied", "folder not writable"},
    {FsError::kNoSpace, "no space", "no space"},
    {FsError::kNameTooLong, "name too long", "name too long"},
    {FsError::kInUse, "file in use", "I/O error"},
    {FsError::kNotFound, "file is gone", "folder is gone"},
};

// "Error: NAME (backup: REASON)": the file is untouched and has no backup.
void report_backup_error(Report& report, const char* name, FsError error, bool source) {
    const char* why = source ? "cannot read file" : "I/O error";
    for (const BackupReason& r : kBackupReasons) {
        if (r.error == error) why = source ? r.source : r.backup;
    }
    std::snprintf(g_detail, sizeof g_detail, "backup: %s", why);
    report.error(name, g_detail);
}

void report_converted(Report& report, const Pending& p) {
    RunCounts& c = report.counts;
    if (p.tabs > 0 || p.dots > 0) {
        report.line("Converted: %s(%d tabs, %d dots)\r\n", p.name, p.tabs, p.dots);
        ++c.converted;
    } else {
        report.line("Non conv.: %s\r\n", p.name);
        ++c.non_converted;
    }
    report.add_tabs(p.tabs);
    c.dots = c.dots > INT_MAX - p.dots ? INT_MAX : c.dots + p.dots;
}

// The hard-link case: the backup is in place under its name already.
bool rewrite_shared(FileSystem& fs, const Pending& p, Report& report) {
    const InPlace written = write_in_place(fs, p.converted, p.target);
    fs.remove(p.converted);
    if (written == InPlace::kDone) return true;
    if (written == InPlace::kDamaged && write_in_place(fs, g_backup_name, p.target) != InPlace::kDone) {
        std::snprintf(g_detail, sizeof g_detail, "restore failed; the original is in %s", g_backup_name);
        report.error(p.name, g_detail);
        return false;
    }
    // As it was: its fresh backup would only make later runs refuse it.
    fs.remove(g_backup_name);
    report.error(p.name);
    return false;
}

// Names the backup, then puts the converted file in place.
void put_in_place(FileSystem& fs, const Pending& p, FsError backup_flushed, FsError converted_flushed,
                  Report& report) {
    if (backup_flushed != FsError::kNone || converted_flushed != FsError::kNone) {
        discard(fs, p);
        if (backup_flushed != FsError::kNone) {
            report_backup_error(report, p.name, backup_flushed, false);
        } else {
            report.error(p.name);
        }
        return;
    }
    make_backup_name(p.name);  // it fitted when the file was taken up
    const FsError named = fs.rename_new(p.backup, g_backup_name);
    if (named != FsError::kNone) {
        discard(fs, p);
        if (named == FsError::kExists) {
            report_refused(report, p.name);  // another program made one meanwhile
        } else {
            report_backup_error(report, p.name, named, false);
        }
        return;
    }
    if (p.info.shared) {
        if (!rewrite_shared(fs, p, report)) return;
    } else if (fs.rename_replace(p.converted, p.target) != FsError::kNone) {
        fs.remove(p.converted);
        // The backup goes only when the original is known to be in place.
        FileInfo now;
        if (fs.stat(p.target, &now) == FsError::kNone && now.device == p.info.device && now.id == p.info.id) {
            fs.remove(g_backup_name);
        }
        report.error(p.name);
        return;
    }
    report_converted(report, p);
}

// Puts the group in flight in place, once its flush is done, and starts
// the flush of the filling group, which then is in flight.
void pass_on(FileSystem& fs, Report& report) {
    if (g_flushing) {
        fs.finish_flush();
        Group& g = *g_flushing;
        for (int i = 0; i < g.count; ++i) {
            report.set_folder(g.files[i].shown_folder);
            put_in_place(fs, g.files[i], g.results[2 * i], g.results[2 * i + 1], report);
        }
        g.count = 0;
        g.bytes = 0;
        g_flushing = nullptr;
    }
    Group& g = *g_filling;
    if (g.count == 0) return;
    for (int i = 0; i < g.count; ++i) {
        g.names[2 * i] = g.files[i].backup;
        g.names[2 * i + 1] = g.files[i].converted;
    }
    fs.start_flush(g.names, 2 * g.count, g.results);
    g_flushing = &g;
    g_filling = &g == &g_groups[0] ? &g_groups[1] : &g_groups[0];
}

// Every converted file put in place (or given up).
void finish_groups(FileSystem& fs, Report& report) {
    pass_on(fs, report);
    pass_on(fs, report);
}

enum class Step { kNext, kCancelled };

// Backs name up under a temporary name and converts that copy into another
// one; on success the file joins the pending group.
Step prepare(FileSystem& fs, const char* name, const char* shown_folder, Report& report,
             const std::atomic<bool>& cancel) {
    Group& g = *g_filling;
    Pending& p = g.files[g.count];
    p.name = name;
    p.shown_folder = shown_folder;
    if (!make_backup_name(name) || !temp_beside(fs, p.backup, name)) {
        report_backup_error(report, name, FsError::kNameTooLong, false);
        return Step::kNext;
    }
    // Only an existing backup refuses the file.
    FileInfo existing;
    const FsError backup_there = fs.stat(g_backup_name, &existing);
    if (backup_there == FsError::kNone) {
        report_refused(report, name);
        return Step::kNext;
    }
    if (backup_there == FsError::kNameTooLong) {
        report_backup_error(report, name, backup_there, false);
        return Step::kNext;
    }
    if (fs.resolve(name, p.target, kRunPathSize) != FsError::kNone || !temp_beside(fs, p.converted, p.target)) {
        report.error(name);
        return Step::kNext;
    }
    const CopyResult copy = fs.copy_new(name, p.backup, cancel);
    if (copy.error == FsError::kCancelled) return Step::kCancelled;
    if (copy.error != FsError::kNone) {
        report_backup_error(report, name, copy.error, copy.source);
        return Step::kNext;
    }
    p.info = copy.info;

    FsError created;
    OutFile* out = fs.create_new(p.converted, p.info, &created);
    if (!out) {
        fs.remove(p.backup);
        report.error(name);
        return Step::kNext;
    }
    OutFileCloser out_closer(out);
    InFile* in = fs.open_read(p.backup);
    if (!in) {
        out_closer.close();
        discard(fs, p);
        report.error(name);
        return Step::kNext;
    }
    InFileCloser in_closer(in);

    g_reader.emplace(*in);
    g_writer.emplace(*out);
    g_engine.in = &*g_reader;
    g_engine.out = &*g_writer;
    g_engine.cancel = &cancel;
    const int tabs = convert_file(g_engine);
    const unsigned char* rest;
    const bool whole = g_reader->peek(&rest) == 0;
    const bool flushed = whole && g_writer->flush();
    const bool written = out_closer.close() && flushed;
    in_closer.close();
    if (!whole || g_reader->failed() || !written) {
        discard(fs, p);
        if (!whole) return Step::kCancelled;  // stopped between pieces by a cancel
        report.error(name);
        return Step::kNext;
    }
    p.tabs = tabs;
    p.dots = g_engine.dots;
    ++g.count;
    g.bytes += p.info.size;
    return Step::kNext;
}

// Leftovers of killed runs in the current folder: at most this many per search.
constexpr int kMaxLeftovers = 64;
constexpr std::size_t kLeftoverNameSize = 64;

class LeftoverCollector : public SearchSink {
public:
    explicit LeftoverCollector(FileSystem& fs) : fs_(&fs), own_(fs.process_id()) {}
    bool take(const FoundEntry& entry) override {
        unsigned long pid;
        if (entry.directory || !temp_name_owner(entry.name, &pid)) return true;
        if (pid != own_ && fs_->process_alive(pid)) return true;  // another run's, still in use
        if (!copy_text(names[count], kLeftoverNameSize, entry.name)) return true;
        return ++count < kMaxLeftovers;
    }
    char names[kMaxLeftovers][kLeftoverNameSize];
    int count = 0;

private:
    FileSystem* fs_;
    unsigned long own_;
};

// Removes the temporary files of earlier, killed runs from the current
// folder: those whose process is gone, and any of this process (it runs one
// batch at a time).
void remove_leftover_temps(FileSystem& fs) {
    LeftoverCollector collector(fs);
    // Bounded: names that cannot be removed are found again on every pass.
    for (int pass = 0; pass < 8; ++pass) {
        collector.count = 0;
        fs.search(kTempPattern, collector);
        for (int i = 0; i < collector.count; ++i) fs.remove(collector.names[i]);
        if (collector.count < kMaxLeftovers) break;
    }
}

}  // namespace

RunOutcome convert_listed(FileSystem& fs, const FileList& list, int tab_size, const Encoding* encoding,
                          Report& report, const std::atomic<bool>& cancel) {
    g_engine.tab_size = tab_size;
    g_engine.encoding = encoding ? *encoding : Encoding::kCp932;
    ListedFolder folder;
    const int count = list.count();
    if (count > 0 && !list.folder(0)) remove_leftover_temps(fs);
    RunOutcome outcome = RunOutcome::kFinished;
    for (int i = 0; i < count; ++i) {
        if (cancel.load(std::memory_order_relaxed)) {
            outcome = RunOutcome::kCancelled;
            break;
        }
        if (folder.changes(list.folder(i))) {
            // Waiting files are named relative to the folder they are in.
            finish_groups(fs, report);
            if (!folder.enter(fs, list.folder(i))) {
                report.set_folder(list.shown_folder(i));
                report.error(list.name(i));
                continue;
            }
            remove_leftover_temps(fs);
        }
        report.set_folder(list.shown_folder(i));
        report.starting(i, count, list.name(i));
        if (prepare(fs, list.name(i), list.shown_folder(i), report, cancel) == Step::kCancelled) {
            // The files before it are done; their lines come first.
            finish_groups(fs, report);
            report.set_folder(list.shown_folder(i));
            report.line("Aborted   : %s (left as it was)\r\n", list.name(i));
            outcome = RunOutcome::kCancelled;
            break;
        }
        if (g_filling->count == kMaxPending || g_filling->bytes >= kMaxPendingBytes) pass_on(fs, report);
    }
    finish_groups(fs, report);
    report.set_folder("");
    return outcome;
}

}  // namespace ravolin
