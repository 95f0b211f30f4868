// The batch run: file list, backups, conversion of each file from its
// backup, and the run report. It never touches a window and keeps no text
// of its own beyond one run: its inputs come in a RunInput, its report goes
// to a Report as events happen. All of its state is in one BatchRun.
#pragma once
#include <atomic>
#include <exception>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "batch/file_list.h"
#include "batch/file_system.h"
#include "batch/replace.h"
#include "batch/report.h"
#include "batch/seen_files.h"
#include "engine/engine.h"

namespace ravolin {

enum class RunOutcome { kFinished, kCancelled };

struct RunInput {
    // The window's way to name files: a folder part (optional) and a
    // wildcard name. The name part is searched in that folder.
    const char* wildcard_path = "";
    int tab_size = 4;  // 1..40
    // Which blanks are rewritten; the window always leaves it at kTabs.
    Style style = Style::kTabs;
    // A list gathered beforehand (gather_files), handled in its order instead
    // of searching wildcard_path. nullptr: the run searches wildcard_path into
    // its own table of 500 paths.
    const FileList* files = nullptr;
    // How every file is read; none (auto): each file's encoding is told from
    // its bytes: UTF-8 when it starts with a UTF-8 BOM, or when all of it is
    // valid UTF-8 with at least one multi-byte sequence; else code page 932.
    // The window always leaves it at auto.
    std::optional<Encoding> encoding;
};

// Searches pattern, a bare name with '*' and '?', in folder ("" or ending in
// a separator) and adds each match to list in the search's order, leaving
// out folders, backups and the run's temporary files, until the list is
// full. A name the list cannot hold gets an Error event. False when the
// folder could not be read.
bool gather_files(FileSystem& fs, const char* folder, const char* pattern, FileList& list, Report& report);

// Calls the file system's flush on a thread of its own and waits for it
// while watching a cancel flag, so that a cancelled run gives control back
// at once however long the disk takes: the call it stops waiting for goes on
// by itself, and the next one waits for it first.
class FlushCalls {
public:
    FlushCalls() = default;
    FlushCalls(const FlushCalls&) = delete;
    FlushCalls& operator=(const FlushCalls&) = delete;
    // Lets a call under way end, then ends the thread.
    ~FlushCalls();
    // fs.start_flush(names, count, results), or fs.finish_flush() when names
    // is nullptr. True once it has returned; false when cancel came first
    // (the call goes on, and names and results stay in its use until
    // idle() has said true).
    bool call(FileSystem& fs, const char* const* names, int count, FsError* results, const std::atomic<bool>& cancel);
    // True once no call is under way; false when cancel came first.
    bool idle(const std::atomic<bool>& cancel);

private:
    void serve();
    bool wait_done(std::unique_lock<std::mutex>& lock, const std::atomic<bool>& cancel);

    std::mutex lock_;
    std::condition_variable changed_;
    std::thread thread_;
    bool started_ = false, stop_ = false;
    bool asked_ = false, busy_ = false;
    FileSystem* fs_ = nullptr;
    const char* const* names_ = nullptr;
    int count_ = 0;
    FsError* results_ = nullptr;
    // What the call threw (a test's file system may), thrown again to the
    // caller as if the call had been made there.
    std::exception_ptr thrown_;
};

// One batch run at a time per object. A caller may keep it in static
// storage: it is zero bytes in the program image and allocates nothing but
// the map of files seen. A cancelled run leaves the file it was in the middle
// of as it was (without a backup), reports it kAborted, and its report ends
// with counts.cancelled set; so are the converted files that were still
// waiting to be put in place, which are not waited for.
class BatchRun {
public:
    RunOutcome run(FileSystem& fs, const RunInput& input, Report& report, const std::atomic<bool>& cancel);

    // Files that matched the wildcard path of the last run but did not fit
    // its table of 500 and were not looked at; 0 for a run over a given list.
    int left_out() const { return left_out_; }

private:
    // One file taken up: what became of it, or a converted file waiting in
    // its group to be put in place. Every member has an initializer so that
    // the groups are zero bytes in the image rather than 270 KB written at
    // every start.
    struct Pending {
        int entry = 0;                       // in the list
        const char* path = nullptr;          // folder and name, as listed
        const char* name = nullptr;          // the bare name
        const char* shown_folder = nullptr;  // what its report line shows in front of name
        bool waiting = false;                // converted and checked: to be put in place
        FileOutcome outcome = FileOutcome::kConverted;  // when not waiting
        char why[kRunPathSize + 64] = {};
        char target[kRunPathSize] = {};     // what the conversion replaces: path, or a link's target
        char converted[kRunPathSize] = {};  // the converted bytes, beside target
        char backup[kRunPathSize] = {};     // the original under a temporary name, beside path
        FileInfo info;                      // the file as it was when its backup was made
        int tabs = 0, dots = 0, expanded = 0;
        int tab_size = 0;  // the file's own, or the run's
        const LineRanges* lines = nullptr;  // the lines to convert; nullptr: all
    };
    static constexpr int kMaxPending = 32;
    static constexpr long long kMaxPendingBytes = 8LL << 20;
    // A flush to disk costs about as much for many files as for one, so
    // converted files wait in a group that is flushed and then put in place
    // together; the flush of one group goes on while the next one fills. A
    // file whose outcome is already known waits in line too, so that the
    // report keeps the files' order.
    struct Group {
        Pending files[kMaxPending];
        int count = 0;
        int waiting = 0;  // of them converted, to be put in place
        int settled = 0;  // the first ones, already put in place and reported
        long long bytes = 0;
        const char* names[2 * kMaxPending] = {};  // what the flush is asked to do
        FsError results[2 * kMaxPending] = {};
        void clear() { count = waiting = settled = 0, bytes = 0; }
    };
    enum class Step { kNext, kCancelled };

    // A file's journey (run.cpp, in this order).
    Step take_up(const FileList& list, int entry, Pending& p);
    bool make_backup(const FileInfo& found, Pending& p, Step* step);
    Step convert_backup(Pending& p, Encoding encoding);
    bool stage(Pending& p);
    bool pass_on();
    void put_in_place(const Pending& p, FsError backup_flushed, FsError converted_flushed);
    bool rewrite_shared(const Pending& p);
    bool finish_groups();
    void abandon_groups();
    void abandon(Group& g);

    // Helpers.
    const FileList* search_wildcard_path(const char* wildcard_path);
    void settle(Pending& p, FileOutcome outcome, const char* why = "");
    void settle_backup_error(Pending& p, FsError error, bool source);
    void discard(const Pending& p);
    void report(const Pending& p, FileOutcome outcome, const char* why = "");
    void report_settled(const Pending& p) { report(p, p.outcome, p.why); }

    FileSystem* fs_ = nullptr;
    Report* report_ = nullptr;
    const std::atomic<bool>* cancel_ = nullptr;
    std::optional<Encoding> forced_;
    int tab_size_ = 4;  // the run's, for files without their own

    FixedFileList window_list_;  // the wildcard path's files
    int left_out_ = 0;
    char wildcard_folder_[kRunPathSize] = {};
    char wildcard_name_[kRunPathSize] = {};
    SeenFiles seen_;
    Group groups_[2];
    Group* filling_ = nullptr;
    Group* flushing_ = nullptr;
    char backup_name_[kRunPathSize] = {};  // NAME.bak of the file being put in place
    char mark_[kRunPathSize] = {};         // its mark while NAME.bak may be its original's second name
    char detail_[kRunPathSize + 64] = {};
    EngineState engine_;
    // Rebuilt in place for every file; their buffers are large, so not on the stack.
    std::optional<TextReader> reader_;
    std::optional<TextWriter> writer_;
    unsigned char scan_block_[1 << 16] = {};
    Replacer replacer_;
    FlushCalls flush_calls_;
};

}  // namespace ravolin
