// The batch run: tab size, folder, file list, backups, conversion of each
// file from its backup, and the run report. It never touches a window and
// keeps no text of its own beyond one run: its inputs come in a RunInput,
// its report lines go to a RunSink as they happen.
#pragma once
#include <atomic>

#include "batch/file_list.h"
#include "batch/file_system.h"
#include "engine/encoding.h"

namespace ravolin {

struct RunCounts {
    int converted = 0, tabs = 0, dots = 0, non_converted = 0, refused = 0, errors = 0, skipped = 0;
};

enum class RunOutcome { kFinished, kCancelled };

struct RunInput {
    const char* wildcard_path;  // folder part (optional) and a wildcard name
    const char* tab_size_text;  // as typed; read by parse_tab_size
    // A list gathered beforehand (gather_files), handled in its order instead
    // of searching wildcard_path. nullptr: the run searches wildcard_path into
    // its own table of 500 names.
    const FileList* files = nullptr;
    // Error lines the caller already reported while gathering; the run's
    // counts include them.
    int gather_errors = 0;
    // How every file is read; nullptr (auto): each file's encoding is told
    // from its bytes: UTF-8 when it starts with a UTF-8 BOM, or when all of
    // it is valid UTF-8 with at least one multi-byte sequence; else code
    // page 932. The window always leaves it at auto.
    const Encoding* encoding = nullptr;
};

// Where the report goes. Every text ends in "\r\n".
class RunSink {
public:
    virtual ~RunSink() = default;
    // One line about one file (or about the pattern), when it is known.
    virtual void line(const char* text) = 0;
    // The summary line, once, at the end of a finished run.
    virtual void summary(const char* text) = 0;
    // Entry index of count files, name (as listed, without its folder), is
    // about to be handled.
    virtual void starting(int /*index*/, int /*count*/, const char* /*name*/) {}
};

// Searches pattern, a bare name with '*' and '?', in the current directory
// and adds each match to list in the search's order, leaving out folders,
// backups and the run's temporary files, until the list is full. A name the list cannot hold gets an
// "Error: NAME" line. Returns the number of such lines.
int gather_files(FileSystem& fs, const char* pattern, FileList& list, RunSink& sink);

// One batch run. A cancelled run leaves the file it was in the middle of as
// it was (without a backup), reports it "Aborted" and gives no summary.
// Not reentrant: one run at a time.
RunOutcome run_batch(FileSystem& fs, const RunInput& input, RunSink& sink,
                     const std::atomic<bool>& cancel, RunCounts* counts = nullptr);

}  // namespace ravolin
