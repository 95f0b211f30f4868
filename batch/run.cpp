#include "batch/run.h"

#include <climits>
#include <cstring>
#include <optional>

#include "batch/run_log.h"
#include "engine/engine.h"
#include "settings/shared_data.h"

namespace ravolin {
namespace {

constexpr int kMaxFiles = 500;
constexpr char kBackupSuffix[] = ".bak";
constexpr std::size_t kSuffixLen = sizeof(kBackupSuffix) - 1;

// All of the run's state is static and exists once: there is one worker.
char g_path[kRunPathSize];
char g_file_list[kMaxFiles][kRunPathSize];
int g_file_count = 0;
EngineState g_engine;
// Rebuilt in place for every file; their buffers are large, so not on the stack.
std::optional<TextReader> g_reader;
std::optional<TextWriter> g_writer;
unsigned char g_copy_buffer[1 << 16];

bool ends_with_backup_suffix(const char* name) {
    std::size_t len = std::strlen(name);
    return len >= kSuffixLen && std::memcmp(name + len - kSuffixLen, kBackupSuffix, kSuffixLen) == 0;
}

bool is_separator(char ch) { return ch == '\\' || ch == '/'; }

// Length of the folder part of wildcard_path, its last separator included; 0 when
// there is none.
std::size_t folder_part_length(const char* wildcard_path, bool drive_letters) {
    std::size_t end = 0;
    for (std::size_t i = 0; wildcard_path[i] != '\0'; ++i) {
        if (is_separator(wildcard_path[i])) end = i + 1;
    }
    const unsigned char first = static_cast<unsigned char>(wildcard_path[0]);
    if (end == 0 && drive_letters && ((first | 0x20) >= 'a' && (first | 0x20) <= 'z') && wildcard_path[1] == ':') {
        end = 2;
    }
    return end;
}

class ListGatherer : public SearchSink {
public:
    bool take(const FoundEntry& entry) override {
        if (ends_with_backup_suffix(entry.name) || entry.directory) return true;
        if (!copy_text(g_file_list[g_file_count], kRunPathSize, entry.name)) {
            // A cut name would name another file: leave this one alone.
            log_line("Error: %s\r\n", g_file_list[g_file_count]);
            ++errors;
            return true;
        }
        ++g_file_count;
        return g_file_count < kMaxFiles;
    }
    int errors = 0;
};

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

// One "Error: " line: the file (or pattern) was left as it was, or put back.
void report_error(const char* what, RunCounts& c) {
    log_line("Error: %s\r\n", what);
    ++c.errors;
}

enum class FileOutcome { kDone, kCancelled };

FileOutcome convert_one(FileSystem& fs, const std::atomic<bool>& cancel, const char* name,
                        RunCounts& c, long long& total_tabs) {
    if (!copy_text(g_path, kRunPathSize, name) || !append_text(g_path, kRunPathSize, kBackupSuffix)) {
        report_error(name, c);
        return FileOutcome::kDone;
    }
    const char* backup = g_path;
    switch (fs.copy_new(name, backup, cancel)) {
        case CopyResult::kCopied:
            break;
        case CopyResult::kCancelled:
            return FileOutcome::kCancelled;
        case CopyResult::kFailed:
            log_line("Refused   : %s\r\n", name);
            ++c.refused;
            return FileOutcome::kDone;
    }

    InFile* in = fs.open_read(backup);
    if (!in) {
        report_error(name, c);
        return FileOutcome::kDone;
    }
    InFileCloser in_closer(in);
    OutFile* out = fs.open_write(name);
    if (!out) {
        report_error(name, c);
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
        report_error(name, c);
        return FileOutcome::kDone;
    }
    if (tabs > 0 || g_engine.dots > 0) {
        log_line("Converted: %s(%d tabs, %d dots)\r\n", name, tabs, g_engine.dots);
        ++c.converted;
    } else {
        log_line("Non conv.: %s\r\n", name);
        ++c.non_converted;
    }
    total_tabs += tabs;
    c.dots = c.dots > INT_MAX - g_engine.dots ? INT_MAX : c.dots + g_engine.dots;
    return FileOutcome::kDone;
}

RunOutcome finish(const RunCounts& c, RunCounts* counts) {
    publish_report(c);
    if (counts) *counts = c;
    return RunOutcome::kFinished;
}

}  // namespace

RunOutcome run_batch(FileSystem& fs, const std::atomic<bool>& cancel, RunCounts* counts) {
    RunCounts c;
    clear_run_log();
    g_file_count = 0;
    g_engine.tab_size = parse_tab_size(g_text_slots[kSlotTabSize]);

    const char* wildcard_path = g_text_slots[kSlotSpec];
    if (!copy_text(g_path, kRunPathSize, wildcard_path)) {
        report_error(wildcard_path, c);
        return finish(c, counts);
    }
    const std::size_t folder_len = folder_part_length(wildcard_path, fs.has_drive_letters());
    if (folder_len > 0) {
        g_path[folder_len] = '\0';
        // Searching the old current directory instead would act on files of
        // the same names somewhere else.
        if (!fs.set_current_dir(g_path)) {
            report_error(wildcard_path, c);
            return finish(c, counts);
        }
    }
    copy_text(g_path, kRunPathSize, wildcard_path + folder_len);
    ListGatherer gatherer;
    fs.search(g_path, gatherer);
    c.errors += gatherer.errors;

    long long total_tabs = 0;
    for (int i = 0; i < g_file_count; ++i) {
        FileOutcome r = FileOutcome::kCancelled;
        if (!cancel.load(std::memory_order_relaxed)) {
            r = convert_one(fs, cancel, g_file_list[i], c, total_tabs);
            c.tabs = total_tabs > INT_MAX ? INT_MAX : static_cast<int>(total_tabs);
        }
        if (r == FileOutcome::kCancelled) {
            if (counts) *counts = c;
            return RunOutcome::kCancelled;
        }
    }
    return finish(c, counts);
}

}  // namespace ravolin
