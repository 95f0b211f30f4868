// Putting a converted file in place: its backup, flushed already, gets its
// NAME.bak name (never replacing one); if the file has not changed since it
// was copied, the converted file, flushed too, takes its place in one
// rename. Whatever fails before that leaves the original untouched and
// removes the fresh backup, so a later run converts it. A file with several
// hard links is rewritten in place instead (a rename would split it from its
// other names) and put back from its backup if that fails.
#include "batch/groups.h"

#include <climits>
#include <cstdio>

#include "base/bounded_text.h"
#include "batch/replace.h"

namespace ravolin {
namespace {

constexpr int kMaxPending = 32;
constexpr long long kMaxPendingBytes = 8LL << 20;

struct Group {
    Pending files[kMaxPending];
    int count = 0;
    int waiting = 0;  // of them converted, to be put in place
    long long bytes = 0;
    const char* names[2 * kMaxPending] = {};  // what the flush is asked to do
    FsError results[2 * kMaxPending] = {};
};

// One group fills while the one before it is flushed.
Group g_groups[2];
Group* g_filling = &g_groups[0];
Group* g_flushing = nullptr;
SeenFiles* g_seen = nullptr;

char g_backup_name[kRunPathSize];
char g_detail[kRunPathSize + 64];

void discard(FileSystem& fs, const Pending& p) {
    fs.remove(p.converted);
    fs.remove(p.backup);
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

void report_refused(Report& report, const char* name) {
    report.line("Refused   : %s\r\n", name);
    ++report.counts.refused;
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

// The line of a file whose outcome was known when it was taken up.
void report_settled(Report& report, const Pending& p) {
    switch (p.outcome) {
        case Outcome::kWaiting:
            break;
        case Outcome::kRefused:
            report_refused(report, p.name);
            break;
        case Outcome::kSkipped:
            report.skipped(p.name, p.why);
            break;
        case Outcome::kError:
            report.error(p.name, p.why[0] ? p.why : nullptr);
            break;
        case Outcome::kBackupError:
            report_backup_error(report, p.name, p.error, p.source);
            break;
    }
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
    backup_name_of(p.name, g_backup_name);  // it fitted when the file was taken up
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
    // Just before the switch: a file another program wrote since it was
    // copied stays as it now is.
    FileInfo now;
    const FsError looked = fs.stat(p.target, &now);
    if (looked != FsError::kNone || now.size != p.info.size || now.mtime != p.info.mtime) {
        fs.remove(p.converted);
        fs.remove(g_backup_name);  // ours, and no longer the file's original
        if (looked != FsError::kNone) {
            report.error(p.name);
        } else {
            report.skipped(p.name, "changed during the run");
        }
        return;
    }
    if (p.info.shared) {
        if (!rewrite_shared(fs, p, report)) return;
    } else if (fs.rename_replace(p.converted, p.target) != FsError::kNone) {
        fs.remove(p.converted);
        // The backup goes only when the original is known to be in place.
        FileInfo after;
        if (fs.stat(p.target, &after) == FsError::kNone && after.device == p.info.device && after.id == p.info.id) {
            fs.remove(g_backup_name);
        }
        report.error(p.name);
        return;
    }
    // Replaced, the file has a new id: another name of it that comes later
    // in the list must still be known as the same file.
    if (!p.info.shared && fs.stat(p.target, &now) == FsError::kNone) g_seen->first_entry(now, p.entry);
    report_converted(report, p);
}

void empty(Group& g) {
    g.count = 0;
    g.waiting = 0;
    g.bytes = 0;
}

// Puts the group in flight in place, once its flush is done, and starts the
// flush of the filling group, which then is in flight.
void pass_on(FileSystem& fs, Report& report) {
    if (g_flushing) {
        fs.finish_flush();
        Group& g = *g_flushing;
        int k = 0;  // the flush's results, two for each waiting file
        for (int i = 0; i < g.count; ++i) {
            const Pending& p = g.files[i];
            report.set_folder(p.shown_folder);
            if (p.outcome != Outcome::kWaiting) {
                report_settled(report, p);
                continue;
            }
            put_in_place(fs, p, g.results[k], g.results[k + 1], report);
            k += 2;
        }
        empty(g);
        g_flushing = nullptr;
    }
    Group& g = *g_filling;
    if (g.count == 0) return;
    int k = 0;
    for (int i = 0; i < g.count; ++i) {
        if (g.files[i].outcome != Outcome::kWaiting) continue;
        g.names[k++] = g.files[i].backup;
        g.names[k++] = g.files[i].converted;
    }
    fs.start_flush(g.names, k, g.results);
    g_flushing = &g;
    g_filling = &g == &g_groups[0] ? &g_groups[1] : &g_groups[0];
}

}  // namespace

bool backup_name_of(const char* name, char* out) {
    return copy_text(out, kRunPathSize, name) && append_text(out, kRunPathSize, ".bak");
}

void Groups::reset(SeenFiles& seen) {
    empty(g_groups[0]);
    empty(g_groups[1]);
    g_filling = &g_groups[0];
    g_flushing = nullptr;
    g_seen = &seen;
}

Pending& Groups::next() { return g_filling->files[g_filling->count]; }

void Groups::add(FileSystem& fs, Report& report) {
    Group& g = *g_filling;
    Pending& p = g.files[g.count];
    if (p.outcome != Outcome::kWaiting && !g_flushing && g.waiting == 0) {
        report_settled(report, p);  // no file before it waits
        return;
    }
    ++g.count;
    if (p.outcome == Outcome::kWaiting) {
        ++g.waiting;
        g.bytes += p.info.size;
    }
    if (g.count == kMaxPending || g.bytes >= kMaxPendingBytes) pass_on(fs, report);
}

void Groups::finish(FileSystem& fs, Report& report) {
    pass_on(fs, report);
    pass_on(fs, report);
}

}  // namespace ravolin
