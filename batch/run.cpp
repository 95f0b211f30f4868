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

#include <utility>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/bounded_text.h"
#include "batch/temp_name.h"
#include "batch/text_checks.h"

namespace ravolin {
namespace {

class ListGatherer : public SearchSink {
public:
    // left_out: nullptr to end the search once the list is full, else where
    // the files that match beyond it are counted.
    ListGatherer(FileList& list, Report& report, int* left_out)
        : list_(&list), report_(&report), left_out_(left_out) {}
    bool take(const FoundEntry& entry) override {
        if (is_backup_name(entry.name) || is_temp_name(entry.name) || entry.directory) return true;
        if (list_->full()) {
            if (!left_out_) return false;
            ++*left_out_;
            return true;
        }
        // A cut path would name another file: leave this one alone.
        if (list_->add(entry.name) == AddResult::kTooLong) {
            FileEvent e;
            e.outcome = FileOutcome::kError;
            e.name = entry.name;
            report_->file(e);
        }
        return left_out_ || !list_->full();
    }

private:
    FileList* list_;
    Report* report_;
    int* left_out_;
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

// The file itself could not be opened, so no backup was tried: why, in a
// few words, or nullptr where the backup's words fit (a file gone since the
// search listed it, a backup name too long).
const char* open_reason(FsError error) {
    switch (error) {
        case FsError::kBadName: return "cannot open: name not valid on this system";
        case FsError::kAccessDenied: return "cannot open: access denied";
        case FsError::kInUse: return "cannot open: file in use";
        case FsError::kIo: return "cannot open: I/O error";
        default: return nullptr;
    }
}

}  // namespace

bool gather_files(FileSystem& fs, const char* folder, const char* pattern, FileList& list, Report& report) {
    ListGatherer gatherer(list, report, nullptr);
    return fs.search(folder, pattern, gatherer);
}

RunOutcome BatchRun::run(FileSystem& fs, const RunInput& input, Report& report, const std::atomic<bool>& cancel) {
    fs_ = &fs;
    report_ = &report;
    cancel_ = &cancel;
    forced_ = input.encoding;
    engine_.tab_size = tab_size_ = input.tab_size;
    left_out_ = 0;
    // A flush that an earlier cancelled run stopped waiting for still uses
    // the groups' names and results.
    if (!flush_calls_.idle(cancel)) {
        report.finish(true);
        return RunOutcome::kCancelled;
    }
    engine_.style = input.style;
    const FileList* list = input.files ? input.files : search_wildcard_path(input.wildcard_path);
    seen_.clear();
    for (Group& g : groups_) g.clear();
    filling_ = &groups_[0];
    flushing_ = nullptr;
    bool cancelled = false;
    const char* folder = nullptr;
    const int count = list ? list->count() : 0;
    for (int i = 0; i < count && !cancelled; ++i) {
        if (cancel.load(std::memory_order_relaxed)) {
            cancelled = true;
            break;
        }
        if (!folder || std::strcmp(folder, list->folder(i)) != 0) {
            // A run killed in this folder may have left its temporary files;
            // ours from the folder before are settled first.
            if (!finish_groups()) {
                cancelled = true;
                break;
            }
            folder = list->folder(i);
            remove_leftover_temps(fs, folder);
        }
        report.starting(i, count, list->name(i));
        Pending& p = filling_->files[filling_->count];
        if (take_up(*list, i, p) == Step::kCancelled) {
            abandon_groups();  // the files before it come first
            FileEvent e;
            e.outcome = FileOutcome::kAborted;
            e.folder = list->shown_folder(i);
            e.name = list->name(i);
            report.file(e);
            cancelled = true;
            break;
        }
        if (!stage(p)) cancelled = true;
    }
    if (!cancelled && !finish_groups()) cancelled = true;
    // Converted files not yet in place are not waited for: they stay as
    // they were.
    if (cancelled) abandon_groups();
    report.counts.left_out = left_out_;
    report.finish(cancelled);
    return cancelled ? RunOutcome::kCancelled : RunOutcome::kFinished;
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
        if (const char* why = open_reason(there)) {
            settle(p, FileOutcome::kError, why);
        } else {
            settle_backup_error(p, there, true);
        }
        return Step::kNext;
    }
    const int first = seen_.first_entry(found, entry);
    if (first != entry) {
        std::snprintf(detail_, sizeof detail_, "same file as %s%s", list.shown_folder(first), list.name(first));
        settle(p, FileOutcome::kSkipped, detail_);
        return Step::kNext;
    }
    // What the file's own settings say comes before anything is written.
    const FileSettings own = list.settings(entry);
    if (own.error) {
        settle(p, FileOutcome::kError, own.error);
        return Step::kNext;
    }
    if (own.skipped) {
        settle(p, FileOutcome::kSkipped, own.skipped);
        return Step::kNext;
    }
    p.tab_size = own.tab_size != 0 ? own.tab_size : tab_size_;
    p.lines = own.lines;
    if (p.lines && p.lines->empty()) {
        // No line to convert: no backup, nothing written.
        settle(p, FileOutcome::kUnchanged);
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

    // Converting some lines only: the original is read a second time
    // alongside the conversion, which gives the lines outside the ranges.
    InFile* again = p.lines ? fs_->open_read(p.backup) : nullptr;
    InFileCloser again_closer(again);
    if (p.lines && !again) {
        out_closer.close();
        in_closer.close();
        discard(p);
        settle(p, FileOutcome::kError);
        return Step::kNext;
    }
    std::optional<LineMerge> merge;
    if (again) merge.emplace(*again, *out, *p.lines, count_words(engine_.style) == CountWords::kSpaces);
    reader_.emplace(*in);
    if (merge) {
        writer_.emplace(*merge);
    } else {
        writer_.emplace(*out);
    }
    engine_.in = &*reader_;
    engine_.out = &*writer_;
    engine_.cancel = cancel_;
    engine_.encoding = encoding;
    engine_.tab_size = p.tab_size;
    p.tabs = convert_file(engine_);
    p.dots = engine_.dots;
    p.expanded = engine_.expanded;
    const unsigned char* rest;
    const bool whole = reader_->peek(&rest) == 0;
    bool flushed = whole && writer_->flush();
    if (merge && flushed) {
        flushed = merge->finish();
        p.tabs = merge->tabs();
        p.dots = merge->dots();
        p.expanded = merge->expanded();
    }
    const bool written = out_closer.close() && flushed;
    in_closer.close();
    again_closer.close();
    if (!whole || reader_->failed() || !written) {
        discard(p);
        if (!whole) return Step::kCancelled;  // stopped between blocks by a cancel
        settle(p, FileOutcome::kError);
        return Step::kNext;
    }
    const VerifyResult checked =
        check_conversion(*fs_, p.backup, p.converted, encoding, p.lines ? LineEnds::kKept : LineEnds::kTranslated);
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
// goes to the disk. False when the run was cancelled while it waited for a
// flush.
bool BatchRun::stage(Pending& p) {
    Group& g = *filling_;
    if (!p.waiting && !flushing_ && g.waiting == 0) {
        report_settled(p);  // no file before it waits
        return true;
    }
    ++g.count;
    if (p.waiting) {
        ++g.waiting;
        g.bytes += p.info.size;
    }
    if (g.count == kMaxPending || g.bytes >= kMaxPendingBytes) return pass_on();
    return true;
}

// Puts the group in flight in place, once its flush is done, and starts the
// flush of the filling group, which then is in flight. False when the run
// was cancelled while it waited for the disk; the groups are then left for
// abandon_groups.
bool BatchRun::pass_on() {
    // Once cancelled, nothing more is put in place.
    if (cancel_->load(std::memory_order_relaxed)) return false;
    if (flushing_) {
        if (!flush_calls_.call(*fs_, nullptr, 0, nullptr, *cancel_)) return false;
        Group& g = *flushing_;
        int k = 0;  // the flush's results, two for each waiting file
        for (; g.settled < g.count; ++g.settled) {
            // Putting a whole group in place takes a while on a slow disk;
            // a cancel stops it between files, and the rest stay as they were.
            if (cancel_->load(std::memory_order_relaxed)) return false;
            const Pending& p = g.files[g.settled];
            if (!p.waiting) {
                report_settled(p);
                continue;
            }
            put_in_place(p, g.results[k], g.results[k + 1]);
            k += 2;
        }
        g.clear();
        flushing_ = nullptr;
    }
    Group& g = *filling_;
    if (g.count == 0) return true;
    // A flush started now would only be abandoned.
    if (cancel_->load(std::memory_order_relaxed)) return false;
    int k = 0;
    for (int i = 0; i < g.count; ++i) {
        if (!g.files[i].waiting) continue;
        g.names[k++] = g.files[i].backup;
        g.names[k++] = g.files[i].converted;
    }
    flushing_ = &g;
    filling_ = &g == &groups_[0] ? &groups_[1] : &groups_[0];
    return flush_calls_.call(*fs_, g.names, k, g.results, *cancel_);
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
    // From here until the file is replaced its original has two names; the
    // mark tells a later run that a NAME.bak of the same bytes is ours.
    FsError named = replacer_.temp_beside(*fs_, mark_, p.path, true) ? write_mark(*fs_, mark_, p.name)
                                                                      : FsError::kNameTooLong;
    if (named == FsError::kNone) {
        named = fs_->rename_new(p.backup, backup_name_);
        if (named != FsError::kNone) fs_->remove(mark_);
    }
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
        fs_->remove(mark_);
        if (looked != FsError::kNone) {
            report(p, FileOutcome::kError);
        } else {
            report(p, FileOutcome::kSkipped, "changed during the run");
        }
        return;
    }
    if (p.info.shared) {
        const bool rewritten = rewrite_shared(p);
        fs_->remove(mark_);
        if (!rewritten) return;
    } else if (fs_->rename_replace(p.converted, p.target) != FsError::kNone) {
        fs_->remove(p.converted);
        // The backup goes only when the original is known to be in place.
        FileInfo after;
        if (fs_->stat(p.target, &after) == FsError::kNone && after.device == p.info.device &&
            after.id == p.info.id) {
            fs_->remove(backup_name_);
        }
        fs_->remove(mark_);
        report(p, FileOutcome::kError);
        return;
    } else {
        fs_->remove(mark_);
    }
    // Replaced, the file has a new id: another name of it that comes later
    // in the list must still be known as the same file.
    if (!p.info.shared && fs_->stat(p.target, &now) == FsError::kNone) seen_.first_entry(now, p.entry);
    FileEvent e;
    e.outcome = p.tabs > 0 || p.dots > 0 || p.expanded > 0 ? FileOutcome::kConverted : FileOutcome::kUnchanged;
    e.folder = p.shown_folder;
    e.name = p.name;
    e.tabs = p.tabs;
    e.dots = p.dots;
    e.expanded = p.expanded;
    e.words = count_words(engine_.style);
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

// Every file put in place (or given up) and reported; false when the run
// was cancelled while it waited for the disk.
bool BatchRun::finish_groups() {
    return pass_on() && pass_on();
}

// A cancelled run's groups, in the report's order: their converted files
// are not put in place but removed with their fresh backups, each reported
// as left as it was. A flush still under way may go on with them; it only
// makes them durable.
void BatchRun::abandon_groups() {
    if (flushing_) abandon(*flushing_);
    abandon(*filling_);
    flushing_ = nullptr;
}

void BatchRun::abandon(Group& g) {
    for (int i = g.settled; i < g.count; ++i) {
        const Pending& p = g.files[i];
        if (!p.waiting) {
            report_settled(p);
            continue;
        }
        discard(p);
        report(p, FileOutcome::kAborted);
    }
    g.clear();
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
    // The files beyond the table are counted, so that the report can say
    // that they were not looked at.
    ListGatherer gatherer(window_list_, *report_, &left_out_);
    if (!fs_->search(wildcard_folder_, wildcard_name_, gatherer)) {
        // A folder read part-way is no empty folder.
        FileEvent e;
        e.outcome = FileOutcome::kError;
        e.name = wildcard_path;
        e.why = "cannot read folder";
        report_->file(e);
    }
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

FlushCalls::~FlushCalls() {
    if (!started_) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool FlushCalls::call(FileSystem& fs, const char* const* names, int count, FsError* results,
                      const std::atomic<bool>& cancel) {
    std::unique_lock<std::mutex> lock(lock_);
    if (!wait_done(lock, cancel)) return false;
    if (!started_) {
        try {
            thread_ = std::thread([this] { serve(); });
            started_ = true;
        } catch (...) {
            // No thread to be had: the call is made here, as it always could be.
            lock.unlock();
            if (names) {
                fs.start_flush(names, count, results);
            } else {
                fs.finish_flush();
            }
            return true;
        }
    }
    fs_ = &fs;
    names_ = names;
    count_ = count;
    results_ = results;
    asked_ = busy_ = true;
    changed_.notify_all();
    if (!wait_done(lock, cancel)) return false;
    if (thrown_) std::rethrow_exception(std::exchange(thrown_, nullptr));
    return true;
}

bool FlushCalls::idle(const std::atomic<bool>& cancel) {
    std::unique_lock<std::mutex> lock(lock_);
    return wait_done(lock, cancel);
}

// The cancel flag is set without a word to us, so it is looked at every few
// milliseconds. A call that returns just after it is still taken: nothing is
// given up that was already done.
bool FlushCalls::wait_done(std::unique_lock<std::mutex>& lock, const std::atomic<bool>& cancel) {
    const auto done = [this] { return !busy_; };
    while (!done()) {
        if (cancel.load(std::memory_order_relaxed))
            return changed_.wait_for(lock, std::chrono::milliseconds(50), done);
        changed_.wait_for(lock, std::chrono::milliseconds(10), done);
    }
    return true;
}

void FlushCalls::serve() {
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || asked_; });
        if (!asked_) return;  // stopped, with nothing left to do
        asked_ = false;
        FileSystem* fs = fs_;
        const char* const* names = names_;
        const int count = count_;
        FsError* results = results_;
        lock.unlock();
        std::exception_ptr thrown;
        try {
            if (names) {
                fs->start_flush(names, count, results);
            } else {
                fs->finish_flush();
            }
        } catch (...) {
            thrown = std::current_exception();
        }
        lock.lock();
        thrown_ = thrown;
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace ravolin
