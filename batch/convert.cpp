// Taking up each listed file: its backup is made under a temporary name (a
// second name of the file where the file system has them, else a copy);
// the backup is checked to be text and its encoding told; the conversion is
// written from it into a temporary file beside the file and checked by an
// independent C lexer. The file then waits in its group (batch/groups) to be
// put in place. A file met a second time, one that is binary, or one whose
// conversion fails the check is left alone; its temporary files go.
#include "batch/convert.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "base/bounded_text.h"
#include "batch/groups.h"
#include "batch/replace.h"
#include "batch/seen_files.h"
#include "batch/temp_name.h"
#include "batch/text_checks.h"
#include "engine/engine.h"

namespace ravolin {
namespace {

SeenFiles g_seen;
Groups g_groups;
char g_backup_name[kRunPathSize];
EngineState g_engine;
// Rebuilt in place for every file; their buffers are large, so not on the stack.
std::optional<TextReader> g_reader;
std::optional<TextWriter> g_writer;

void settle(Pending& p, Outcome outcome, const char* why = "") {
    p.outcome = outcome;
    copy_text(p.why, sizeof p.why, why);
}

void settle_backup(Pending& p, FsError error, bool source) {
    settle(p, Outcome::kBackupError);
    p.error = error;
    p.source = source;
}

void discard(FileSystem& fs, const Pending& p) {
    fs.remove(p.converted);
    fs.remove(p.backup);
}

enum class Step { kNext, kCancelled };

// Converts the backup's copy into the converted file and checks the result.
Step convert_copy(FileSystem& fs, Pending& p, Encoding encoding, const std::atomic<bool>& cancel) {
    FsError created;
    OutFile* out = fs.create_new(p.converted, p.info, &created);
    if (!out) {
        fs.remove(p.backup);
        settle(p, Outcome::kError);
        return Step::kNext;
    }
    OutFileCloser out_closer(out);
    InFile* in = fs.open_read(p.backup);
    if (!in) {
        out_closer.close();
        discard(fs, p);
        settle(p, Outcome::kError);
        return Step::kNext;
    }
    InFileCloser in_closer(in);

    g_reader.emplace(*in);
    g_writer.emplace(*out);
    g_engine.in = &*g_reader;
    g_engine.out = &*g_writer;
    g_engine.cancel = &cancel;
    g_engine.encoding = encoding;
    p.tabs = convert_file(g_engine);
    p.dots = g_engine.dots;
    const unsigned char* rest;
    const bool whole = g_reader->peek(&rest) == 0;
    const bool flushed = whole && g_writer->flush();
    const bool written = out_closer.close() && flushed;
    in_closer.close();
    if (!whole || g_reader->failed() || !written) {
        discard(fs, p);
        if (!whole) return Step::kCancelled;  // stopped between blocks by a cancel
        settle(p, Outcome::kError);
        return Step::kNext;
    }
    const VerifyResult checked = check_conversion(fs, p.backup, p.converted, encoding);
    if (checked != VerifyResult::kSame) {
        discard(fs, p);
        if (checked == VerifyResult::kReadError) {
            settle(p, Outcome::kError);
        } else {
            settle(p, Outcome::kSkipped, verify_reason(checked));
        }
    }
    return Step::kNext;
}

// Takes the list's entry up into p: its outcome, or a converted file waiting
// to be put in place.
Step take_up(FileSystem& fs, const FileList& list, int entry, const Encoding* forced, Pending& p,
             const std::atomic<bool>& cancel) {
    const char* name = list.name(entry);
    p.entry = entry;
    p.name = name;
    p.shown_folder = list.shown_folder(entry);
    settle(p, Outcome::kWaiting);
    FileInfo found;
    const FsError there = fs.stat(name, &found);
    if (there != FsError::kNone) {
        settle_backup(p, there, true);
        return Step::kNext;
    }
    const int first = g_seen.first_entry(found, entry);
    if (first != entry) {
        std::snprintf(p.why, sizeof p.why, "same file as %s%s", list.shown_folder(first), list.name(first));
        p.outcome = Outcome::kSkipped;
        return Step::kNext;
    }
    if (!backup_name_of(name, g_backup_name) || !temp_beside(fs, p.backup, name)) {
        settle_backup(p, FsError::kNameTooLong, false);
        return Step::kNext;
    }
    // Only an existing backup refuses the file.
    FileInfo existing;
    const FsError backup_there = fs.stat(g_backup_name, &existing);
    if (backup_there == FsError::kNone) {
        settle(p, Outcome::kRefused);
        return Step::kNext;
    }
    if (backup_there == FsError::kNameTooLong) {
        settle_backup(p, backup_there, false);
        return Step::kNext;
    }
    if (fs.resolve(name, p.target, kRunPathSize) != FsError::kNone || !temp_beside(fs, p.converted, p.target)) {
        settle(p, Outcome::kError);
        return Step::kNext;
    }
    // The backup is the original itself under a second name where the file
    // system allows it: no bytes to copy or to flush but the file's own, and
    // the conversion replaces the name, not the bytes. A symbolic link and a
    // file with other names (rewritten in place) get a copy.
    if (!found.shared && std::strcmp(p.target, name) == 0 && fs.link_new(name, p.backup) == FsError::kNone) {
        p.info = found;
    } else {
        const CopyResult copy = fs.copy_new(name, p.backup, cancel);
        if (copy.error == FsError::kCancelled) return Step::kCancelled;
        if (copy.error != FsError::kNone) {
            settle_backup(p, copy.error, copy.source);
            return Step::kNext;
        }
        p.info = copy.info;
    }

    Encoding encoding = Encoding::kCp932;
    const TextKind kind = scan_text(fs, p.backup, &encoding, cancel);
    if (kind != TextKind::kText) {
        fs.remove(p.backup);
        if (kind == TextKind::kCancelled) return Step::kCancelled;
        settle(p, kind == TextKind::kBinary ? Outcome::kSkipped : Outcome::kError,
               kind == TextKind::kBinary ? "binary" : "");
        return Step::kNext;
    }
    return convert_copy(fs, p, forced ? *forced : encoding, cancel);
}

}  // namespace

RunOutcome convert_listed(FileSystem& fs, const FileList& list, int tab_size, const Encoding* encoding,
                          Report& report, const std::atomic<bool>& cancel) {
    g_engine.tab_size = tab_size;
    g_seen.clear();
    g_groups.reset(g_seen);
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
            g_groups.finish(fs, report);
            if (!folder.enter(fs, list.folder(i))) {
                report.set_folder(list.shown_folder(i));
                report.error(list.name(i));
                continue;
            }
            remove_leftover_temps(fs);
        }
        report.set_folder(list.shown_folder(i));
        report.starting(i, count, list.name(i));
        if (take_up(fs, list, i, encoding, g_groups.next(), cancel) == Step::kCancelled) {
            // The files before it come first.
            g_groups.finish(fs, report);
            report.set_folder(list.shown_folder(i));
            report.line("Aborted   : %s (left as it was)\r\n", list.name(i));
            outcome = RunOutcome::kCancelled;
            break;
        }
        g_groups.add(fs, report);
    }
    g_groups.finish(fs, report);
    report.set_folder("");
    return outcome;
}

}  // namespace ravolin
