#include "batch/convert.h"

#include <climits>
#include <optional>

#include "base/bounded_text.h"
#include "engine/engine.h"

namespace ravolin {
namespace {

constexpr char kBackupSuffix[] = ".bak";

char g_path[kRunPathSize];
EngineState g_engine;
// Rebuilt in place for every file; their buffers are large, so not on the stack.
std::optional<TextReader> g_reader;
std::optional<TextWriter> g_writer;
unsigned char g_copy_buffer[1 << 16];

// Puts the backup's bytes back into the file, unchanged.
bool restore_from_backup(FileSystem& fs, const char* backup, const char* name) {
    InFile* in = fs.open_read(backup);
    if (!in) return false;
    InFileCloser in_closer(in);
    OutFile* out = fs.open_write(name);
    if (!out) return false;
    OutFileCloser out_closer(out);
    for (;;) {
        long n = in->read(g_copy_buffer, sizeof g_copy_buffer);
        if (n < 0) return false;
        if (n == 0) break;
        if (!out->write(g_copy_buffer, static_cast<std::size_t>(n))) return false;
    }
    return out_closer.close();
}

enum class FileOutcome { kDone, kCancelled };

FileOutcome convert_one(FileSystem& fs, const std::atomic<bool>& cancel, const char* name,
                        Report& report, long long& total_tabs) {
    RunCounts& c = report.counts;
    if (!copy_text(g_path, kRunPathSize, name) || !append_text(g_path, kRunPathSize, kBackupSuffix)) {
        report.error(name);
        return FileOutcome::kDone;
    }
    const char* backup = g_path;
    switch (fs.copy_new(name, backup, cancel)) {
        case CopyResult::kCopied:
            break;
        case CopyResult::kCancelled:
            return FileOutcome::kCancelled;
        case CopyResult::kFailed:
            report.line("Refused   : %s\r\n", name);
            ++c.refused;
            return FileOutcome::kDone;
    }

    InFile* in = fs.open_read(backup);
    if (!in) {
        report.error(name);
        return FileOutcome::kDone;
    }
    InFileCloser in_closer(in);
    OutFile* out = fs.open_write(name);
    if (!out) {
        report.error(name);
        return FileOutcome::kDone;
    }
    OutFileCloser out_closer(out);

    g_reader.emplace(*in);
    g_writer.emplace(*out);
    g_engine.in = &*g_reader;
    g_engine.out = &*g_writer;
    g_engine.cancel = &cancel;
    const int tabs = convert_file(g_engine);
    const unsigned char* rest;
    const bool whole = g_reader->peek(&rest) == 0;
    if (!whole) {
        // Stopped between pieces by a cancel: the file goes back to what it was.
        out_closer.close();
        in_closer.close();
        restore_from_backup(fs, backup, name);
        return FileOutcome::kCancelled;
    }
    const bool flushed = g_writer->flush();
    const bool written = out_closer.close() && flushed;
    in_closer.close();
    if (g_reader->failed() || !written) {
        // A short file must not pass for a converted one.
        restore_from_backup(fs, backup, name);
        report.error(name);
        return FileOutcome::kDone;
    }
    if (tabs > 0 || g_engine.dots > 0) {
        report.line("Converted: %s(%d tabs, %d dots)\r\n", name, tabs, g_engine.dots);
        ++c.converted;
    } else {
        report.line("Non conv.: %s\r\n", name);
        ++c.non_converted;
    }
    total_tabs += tabs;
    c.dots = c.dots > INT_MAX - g_engine.dots ? INT_MAX : c.dots + g_engine.dots;
    return FileOutcome::kDone;
}

}  // namespace

RunOutcome convert_listed(FileSystem& fs, const FileList& list, int tab_size, Report& report,
                          const std::atomic<bool>& cancel) {
    g_engine.tab_size = tab_size;
    long long total_tabs = 0;
    ListedFolder folder;
    const int count = list.count();
    for (int i = 0; i < count; ++i) {
        if (cancel.load(std::memory_order_relaxed)) return RunOutcome::kCancelled;
        report.set_folder(list.shown_folder(i));
        if (!folder.enter(fs, list.folder(i))) {
            report.error(list.name(i));
            continue;
        }
        report.starting(i, count, list.name(i));
        const FileOutcome r = convert_one(fs, cancel, list.name(i), report, total_tabs);
        report.counts.tabs = total_tabs > INT_MAX ? INT_MAX : static_cast<int>(total_tabs);
        if (r == FileOutcome::kCancelled) return RunOutcome::kCancelled;
    }
    report.set_folder("");
    return RunOutcome::kFinished;
}

}  // namespace ravolin
