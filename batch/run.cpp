// One file's journey through a run, top to bottom:
//   take_up        the file is still there and met for the first time; its
//                  NAME.bak is free (else it is refused)
//   make_backup    the original under a temporary name beside it: a second
//                  name of the file where the file system has them, else a
//                  copy
//   convert_backup the backup is text (a binary file is skipped) in its
//                  encoding; its conversion is written into a temporary file
//                  beside the file's target and checked by an independent C
//                  lexer
//   stage          it waits in its group; a full group is flushed to disk
//   put_in_place   once flushed, the backup gets its NAME.bak name (never
//                  replacing one); if the file has not changed since it was
//                  copied, the conversion takes its place in one rename (a
//                  file with several hard links is rewritten in place)
// Whatever fails on the way discards the temporary files and leaves the
// original as it was, without a backup, so a later run converts it.
#include "batch/run.h"

#include <cstdio>
#include <cstring>

#include "base/bounded_text.h"
#include "batch/temp_name.h"
#include "batch/text_checks.h"

namespace ravolin {
namespace {

class ListGatherer : public SearchSink {
public:
    ListGatherer(FileList& list, Report& report) : list_(&list), report_(&report) {}
    bool take(const FoundEntry& entry) override {
        if (is_backup_name(entry.name) || is_temp_name(entry.name) || entry.directory) return true;
        // A cut path would name another file: leave this one alone.
        if (list_->add(entry.name) == AddResult::kTooLong) {
            FileEvent e;
            e.outcome = FileOutcome::kError;
            e.name = entry.name;
            report_->file(e);
        }
        return !list_->full();
    }

private:
    FileList* list_;
    Report* report_;
};

// NAME.bak; false when it does not fit.
bool backup_name_of(const char* path, char* out) {
    return copy_text(out, kRunPathSize, path) && append_text(out, kRunPathSize, ".bak");
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

// "backup: REASON": the file is untouched and has no backup.
void backup_reason(char* out, std::size_t cap, FsError error, bool source) {
    const char* why = source ? "cannot read file" : "I/O error";
    for (const BackupReason& r : kBackupReasons) {
        if (r.error == error) why = source ? r.source : r.backup;
    }
    std::snprintf(out, cap, "backup: %s", why);
}

}  // namespace

bool gather_files(FileSystem& fs, const char* folder, const char* pattern, FileList& list, Report& report) {
    ListGatherer gatherer(list, report);
    return fs.search(folder, pattern, gatherer);
}

RunOutcome BatchRun::run(FileSystem& fs, const RunInput& input, Report& report, const std::atomic<bool>& cancel) {
    fs_ = &fs;
    report_ = &report;
    cancel_ = &cancel;
    forced_ = input.encoding;
    engine_.tab_size = input.tab_size;
    const FileList* list = input.files ? input.files : search_wildcard_path(input.wildcard_path);
    seen_.clear();
    for (Group& g : groups_) g.count = g.waiting = 0, g.bytes = 0;
    filling_ = &groups_[0];
    flushing_ = nullptr;
    RunOutcome outcome = RunOutcome::kFinished;
    const char* folder = nullptr;
    const int count = list ? list->count() : 0;
    for (int i = 0; i < count; ++i) {
        if (cancel.load(std::memory_order_relaxed)) {
            outcome = RunOutcome::kCancelled;
            break;
        }
        if (!folder || std::strcmp(folder, list->folder(i)) != 0) {
            // A run killed in this folder may have left its temporary files;
            // ours from the folder before are settled first.
            finish_groups();
            folder = list->folder(i);
            remove_leftover_temps(fs, folder);
        }
        report.starting(i, count, list->name(i));
        Pending& p = filling_->files[filling_->count];
        if (take_up(*list, i, p) == Step::kCancelled) {
            finish_groups();  // the files before it come first
            FileEvent e;
            e.outcome = FileOutcome::kAborted;
            e.folder = list->shown_folder(i);
            e.name = list->name(i);
            report.file(e);
            outcome = RunOutcome::kCancelled;
            break;
        }
        stage(p);
    }
    finish_groups();
    report.finish(outcome == RunOutcome::kCancelled);
    return outcome;
}

// Takes the list's entry up into p: its outcome, or a converted file waiting
// to be put in place.
BatchRun::Step BatchRun::take_up(const FileList& list, int entry, Pending& p) {
    p.entry = entry;
    p.path = list.path(entry);
    p.name = list.name(entry);
    p.shown_folder = list.shown_folder(entry);
    p.waiting = true;
    p.why[0] = '\0';
    FileInfo found;
    const FsError there = fs_->stat(p.path, &found);
    if (there != FsError::kNone) {
        settle_backup_error(p, there, true);
        return Step::kNext;
    }
    const int first = seen_.first_entry(found, entry);
    if (first != entry) {
        std::snprintf(detail_, sizeof detail_, "same file as %s%s", list.shown_folder(first), list.name(first));
        settle(p, FileOutcome::kSkipped, detail_);
        return Step::kNext;
    }
    if (!backup_name_of(p.path, backup_name_) || !replacer_.temp_beside(*fs_, p.backup, p.path)) {
        settle_backup_error(p, FsError::kNameTooLong, false);
        return Step::kNext;
    }
    // Only an existing backup refuses the file.
    FileInfo existing;
    const FsError backup_there = fs_->stat(backup_name_, &existing);
    if (backup_there == FsError::kNone) {
        settle(p, FileOutcome::kRefused);
        return Step::kNext;
    }
    if (backup_there == FsError::kNameTooLong) {
        settle_backup_error(p, backup_there, false);
        return Step::kNext;
    }
    if (fs_->resolve(p.path, p.target, kRunPathSize) != FsError::kNone ||
        !replacer_.temp_beside(*fs_, p.converted, p.target)) {
        settle(p, FileOutcome::kError);
        return Step::kNext;
    }
    Step step = Step::kNext;
    if (!make_backup(found, p, &step)) return step;

    Encoding encoding = Encoding::kCp932;
    TextKind kind = scan_text(*fs_, p.backup, &encoding, *cancel_, scan_block_, sizeof scan_block_);
    if (kind == TextKind::kUnclear && forced_) kind = TextKind::kText;  // the user said how to read it
    if (kind != TextKind::kText) {
        fs_->remove(p.backup);
        if (kind == TextKind::kCancelled) return Step::kCancelled;
        if (kind == TextKind::kBinary) {
            settle(p, FileOutcome::kSkipped, "binary");
        } else if (kind == TextKind::kUnclear) {
            settle(p, FileOutcome::kSkipped, "encoding unclear");
        } else {
            settle(p, FileOutcome::kError);
        }
        return Step::kNext;
    }
    return convert_backup(p, forced_ ? *forced_ : encoding);
}

// The backup is the original itself under a second name where the file
// system allows it: no bytes to copy or to flush but the file's own, and the
// conversion replaces the name, not the bytes. A symbolic link and a file
// with other names (rewritten in place) get a copy. False when there is no
// backup; *step then says whether the run was cancelled.
bool BatchRun::make_backup(const FileInfo& found, Pending& p, Step* step) {
    if (!found.shared && std::strcmp(p.target, p.path) == 0 && fs_->link_new(p.path, p.backup) == FsError::kNone) {
        p.info = found;
        return true;
    }
    const CopyResult copy = fs_->copy_new(p.path, p.backup, *cancel_);
    if (copy.error == FsError::kCancelled) {
        *step = Step::kCancelled;
        return false;
    }
    if (copy.error != FsError::kNone) {
        settle_backup_error(p, copy.error, copy.source);
        return false;
    }
    p.info = copy.info;
    return true;
}

// Converts the backup into the converted file and checks the result.
BatchRun::Step BatchRun::convert_backup(Pending& p, Encoding encoding) {
    FsError created;
    OutFile* out = fs_->create_new(p.converted, p.info, &created);
    if (!out) {
        fs_->remove(p.backup);
        settle(p, FileOutcome::kError);
        return Step::kNext;
    }
    OutFileCloser out_closer(out);
    InFile* in = fs_->open_read(p.backup);
    if (!in) {
        out_closer.close();
        discard(p);
        settle(p, FileOutcome::kError);
        return Step::kNext;
    }
    InFileCloser in_closer(in);

    reader_.emplace(*in);
    writer_.emplace(*out);
    engine_.in = &*reader_;
    engine_.out = &*writer_;
    engine_.cancel = cancel_;
    engine_.encoding = encoding;
    p.tabs = convert_file(engine_);
    p.dots = engine_.dots;
    const unsigned char* rest;
    const bool whole = reader_->peek(&rest) == 0;
    const bool flushed = whole && writer_->flush();
    const bool written = out_closer.close() && flushed;
    in_closer.close();
    if (!whole || reader_->failed() || !written) {
        discard(p);
        if (!whole) return Step::kCancelled;  // stopped between blocks by a cancel
        settle(p, FileOutcome::kError);
        return Step::kNext;
    }
    const VerifyResult checked = check_conversion(*fs_, p.backup, p.converted, encoding);
    if (checked != VerifyResult::kSame) {
        discard(p);
        if (checked == VerifyResult::kReadError) {
            settle(p, FileOutcome::kError);
        } else {
            settle(p, FileOutcome::kSkipped, verify_reason(checked));
        }
    }
    return Step::kNext;
}

// Takes the slot in. A line nothing waits for is reported now; a full group
// goes to the disk.
void BatchRun::stage(Pending& p) {
    Group& g = *filling_;
    if (!p.waiting && !flushing_ && g.waiting == 0) {
        report_settled(p);  // no file before it waits
        return;
    }
    ++g.count;
    if (p.waiting) {
        ++g.waiting;
        g.bytes += p.info.size;
    }
    if (g.count == kMaxPending || g.bytes >= kMaxPendingBytes) pass_on();
}

// Puts the group in flight in place, once its flush is done, and starts the
// flush of the filling group, which then is in flight.
void BatchRun::pass_on() {
    if (flushing_) {
        fs_->finish_flush();
        Group& g = *flushing_;
        int k = 0;  // the flush's results, two for each waiting file
        for (int i = 0; i < g.count; ++i) {
            const Pending& p = g.files[i];
            if (!p.waiting) {
                report_settled(p);
                continue;
            }
            put_in_place(p, g.results[k], g.results[k + 1]);
            k += 2;
        }
        g.count = g.waiting = 0;
        g.bytes = 0;
        flushing_ = nullptr;
    }
    Group& g = *filling_;
    if (g.count == 0) return;
    int k = 0;
    for (int i = 0; i < g.count; ++i) {
        if (!g.files[i].waiting) continue;
        g.names[k++] = g.files[i].backup;
        g.names[k++] = g.files[i].converted;
    }
    fs_->start_flush(g.names, k, g.results);
    flushing_ = &g;
    filling_ = &g == &groups_[0] ? &groups_[1] : &groups_[0];
}

// Names the backup, then puts the converted file in place.
void BatchRun::put_in_place(const Pending& p, FsError backup_flushed, FsError converted_flushed) {
    if (backup_flushed != FsError::kNone || converted_flushed != FsError::kNone) {
        discard(p);
        if (backup_flushed != FsError::kNone) {
            backup_reason(detail_, sizeof detail_, backup_flushed, false);
            report(p, FileOutcome::kError, detail_);
        } else {
            report(p, FileOutcome::kError);
        }
        return;
    }
    backup_name_of(p.path, backup_name_);  // it fitted when the file was taken up
    const FsError named = fs_->rename_new(p.backup, backup_name_);
    if (named != FsError::kNone) {
        discard(p);
        if (named == FsError::kExists) {
            report(p, FileOutcome::kRefused);  // another program made one meanwhile
        } else {
            backup_reason(detail_, sizeof detail_, named, false);
            report(p, FileOutcome::kError, detail_);
        }
        return;
    }
    // Just before the switch: a file another program wrote since it was
    // copied stays as it now is.
    FileInfo now;
    const FsError looked = fs_->stat(p.target, &now);
    if (looked != FsError::kNone || now.size != p.info.size || now.mtime != p.info.mtime) {
        fs_->remove(p.converted);
        fs_->remove(backup_name_);  // ours, and no longer the file's original
        if (looked != FsError::kNone) {
            report(p, FileOutcome::kError);
        } else {
            report(p, FileOutcome::kSkipped, "changed during the run");
        }
        return;
    }
    if (p.info.shared) {
        if (!rewrite_shared(p)) return;
    } else if (fs_->rename_replace(p.converted, p.target) != FsError::kNone) {
        fs_->remove(p.converted);
        // The backup goes only when the original is known to be in place.
        FileInfo after;
        if (fs_->stat(p.target, &after) == FsError::kNone && after.device == p.info.device &&
            after.id == p.info.id) {
            fs_->remove(backup_name_);
        }
        report(p, FileOutcome::kError);
        return;
    }
    // Replaced, the file has a new id: another name of it that comes later
    // in the list must still be known as the same file.
    if (!p.info.shared && fs_->stat(p.target, &now) == FsError::kNone) seen_.first_entry(now, p.entry);
    FileEvent e;
    e.outcome = p.tabs > 0 || p.dots > 0 ? FileOutcome::kConverted : FileOutcome::kUnchanged;
    e.folder = p.shown_folder;
    e.name = p.name;
    e.tabs = p.tabs;
    e.dots = p.dots;
    report_->file(e);
}

// The hard-link case: the backup is in place under its name already.
bool BatchRun::rewrite_shared(const Pending& p) {
    const InPlace written = replacer_.write_in_place(*fs_, p.converted, p.target);
    fs_->remove(p.converted);
    if (written == InPlace::kDone) return true;
    if (written == InPlace::kDamaged && replacer_.write_in_place(*fs_, backup_name_, p.target) != InPlace::kDone) {
        std::snprintf(detail_, sizeof detail_, "restore failed; the original is in %s", backup_name_);
        report(p, FileOutcome::kError, detail_);
        return false;
    }
    // As it was: its fresh backup would only make later runs refuse it.
    fs_->remove(backup_name_);
    report(p, FileOutcome::kError);
    return false;
}

// Every file put in place (or given up) and reported.
void BatchRun::finish_groups() {
    pass_on();
    pass_on();
}

// The window's way to a file list: the name part of the wildcard path
// searched in its folder part (a relative one from the current directory).
// nullptr, after an Error event, when nothing may be searched.
const FileList* BatchRun::search_wildcard_path(const char* wildcard_path) {
    const std::size_t folder_len = folder_part_length(wildcard_path, fs_->has_drive_letters(), fs_->lead_bytes());
    bool usable = copy_text(wildcard_folder_, kRunPathSize, wildcard_path);
    if (usable && folder_len > 0) {
        // Searching another folder instead would act on files of the same
        // names somewhere else.
        wildcard_folder_[folder_len] = '\0';
        copy_text(wildcard_name_, kRunPathSize, wildcard_folder_);
        usable = fs_->absolute_folder(wildcard_name_, wildcard_folder_, kRunPathSize) &&
                 fs_->is_folder(wildcard_folder_);
    } else {
        wildcard_folder_[0] = '\0';
    }
    if (!usable || !window_list_.clear(wildcard_folder_)) {
        FileEvent e;
        e.outcome = FileOutcome::kError;
        e.name = wildcard_path;
        report_->file(e);
        return nullptr;
    }
    copy_text(wildcard_name_, kRunPathSize, wildcard_path + folder_len);
    gather_files(*fs_, wildcard_folder_, wildcard_name_, window_list_, *report_);
    return &window_list_;
}

void BatchRun::settle(Pending& p, FileOutcome outcome, const char* why) {
    p.waiting = false;
    p.outcome = outcome;
    copy_text(p.why, sizeof p.why, why);
}

void BatchRun::settle_backup_error(Pending& p, FsError error, bool source) {
    backup_reason(detail_, sizeof detail_, error, source);
    settle(p, FileOutcome::kError, detail_);
}

void BatchRun::discard(const Pending& p) {
    fs_->remove(p.converted);
    fs_->remove(p.backup);
}

void BatchRun::report(const Pending& p, FileOutcome outcome, const char* why) {
    FileEvent e;
    e.outcome = outcome;
    e.folder = p.shown_folder;
    e.name = p.name;
    e.why = why;
    report_->file(e);
}

}  // namespace ravolin
