#include "cli/restore.h"

#include <cstring>
#include <string>

#include "batch/replace.h"
#include "batch/temp_name.h"
#include "batch/text_checks.h"

namespace ravolin {
namespace {

// What became of one file, and the words its report line gives.
struct Restore {
    FileOutcome outcome;
    const char* why;
};
constexpr Restore kRestored{FileOutcome::kRestored, ""};
constexpr Restore kNoBackup{FileOutcome::kSkipped, "no backup"};
constexpr Restore kItself{FileOutcome::kSkipped, "backup is the same file"};
constexpr Restore kNotRegular{FileOutcome::kSkipped, "backup is not a regular file"};
constexpr Restore kEdited{FileOutcome::kSkipped, "edited since it was converted"};
constexpr Restore kUnreadable{FileOutcome::kError, "backup cannot be read; left as it was"};
constexpr Restore kUntouched{FileOutcome::kError, "cannot be replaced; left as it was"};
constexpr Restore kDamaged{FileOutcome::kError, "written part-way; its backup is kept to restore from"};
constexpr Restore kBackupKept{FileOutcome::kError, "restored, but its backup could not be removed"};

// Its buffers are large: static storage rather than the stack.
struct RestoreWork {
    Replacer replacer;
    unsigned char block[1 << 16];
};



// A file read with every lone LF as CR LF: a run writes CR LF, but a file
// re-indented by hand since may have LF again, which is still layout.
class CrLfSource final : public ByteSource {
public:
    explicit CrLfSource(ByteSource& in) : in_(in) {}
    long read(unsigned char* buf, std::size_t n) override {
        std::size_t put = 0;
        while (put < n) {
            if (pending_lf_) {
                buf[put++] = '\n';
                pending_lf_ = false;
                continue;
            }
            if (at_ == got_) {
                if (put > 0) break;  // what is there first
                const long r = in_.read(block_, sizeof block_);
                if (r <= 0) return r;
                at_ = 0;
                got_ = static_cast<std::size_t>(r);
            }
            const unsigned char c = block_[at_++];
            if (c == '\n' && !after_cr_) {
                buf[put++] = '\r';
                pending_lf_ = true;
            } else {
                buf[put++] = c;
            }
            after_cr_ = c == '\r';
        }
        return static_cast<long>(put);
    }

private:
    ByteSource& in_;
    unsigned char block_[1 << 14];
    std::size_t at_ = 0, got_ = 0;
    bool after_cr_ = false, pending_lf_ = false;
};

// Whether the file differs from its backup by layout alone, as a run's
// conversion may: the same check a run makes before it replaces a file,
// with the backup as the original.
VerifyResult layout_only(FileSystem& fs, const char* path, const char* backup, const CliOptions& options,
                         const std::atomic<bool>& cancel, RestoreWork& w) {
    Encoding encoding = Encoding::kCp932;
    const TextKind kind = scan_text(fs, backup, &encoding, cancel, w.block, sizeof w.block);
    if (kind == TextKind::kReadError || kind == TextKind::kCancelled) return VerifyResult::kReadError;
    InFile* original = fs.open_read(backup);
    if (!original) return VerifyResult::kReadError;
    InFileCloser original_closer(original);
    InFile* file = fs.open_read(path);
    if (!file) return VerifyResult::kReadError;
    InFileCloser file_closer(file);
    CrLfSource converted(*file);
    return verify_conversion(*original, converted, options.encoding.value_or(encoding));
}

// The backup's bytes put in the file's place the way a run puts its
// conversion there (batch/replace.h): the file is its converted self or its
// original at every moment. The backup goes only once that is done. A
// backup that is not a plain file is never opened: a pipe would hang the
// restore and a device fill the disk.
Restore put_back(FileSystem& fs, const char* path, const std::string& backup, const CliOptions& options,
                 const std::atomic<bool>& cancel, RestoreWork& w) {
    FileInfo bak, file;
    const FsError there = fs.stat(backup.c_str(), &bak);
    if (there == FsError::kNotFound) return kNoBackup;
    if (there != FsError::kNone) return kUnreadable;
    if (!bak.regular) return kNotRegular;
    if (fs.stat(path, &file) != FsError::kNone) return kUntouched;
    // Writing the one into the other would empty both.
    if (file.device == bak.device && file.id == bak.id) return kItself;
    if (!options.force) {
        const VerifyResult layout = layout_only(fs, path, backup.c_str(), options, cancel, w);
        if (layout == VerifyResult::kReadError) return kUnreadable;
        if (layout != VerifyResult::kSame) return kEdited;
    }
    switch (w.replacer.replace_with_copy(fs, backup.c_str(), path)) {
        case InPlace::kUntouched:
            return kUntouched;
        case InPlace::kDamaged:
            return kDamaged;
        case InPlace::kDone:
            break;
    }
    return fs.remove(backup.c_str()) == FsError::kNone ? kRestored : kBackupKept;
}

}  // namespace

void cli_restore(FileSystem& fs, const CliFileList& list, const CliOptions& options, Report& report,
                 const std::atomic<bool>& cancel) {
    static RestoreWork work;
    const char* folder = nullptr;
    const int count = list.count();
    for (int i = 0; i < count && !cancel.load(std::memory_order_relaxed); ++i) {
        if (!folder || std::strcmp(folder, list.folder(i)) != 0) {
            // A killed run or restore may have left its temporary files here.
            folder = list.folder(i);
            remove_leftover_temps(fs, folder);
        }
        report.starting(i, count, list.name(i));
        const Restore r = put_back(fs, list.path(i), list.path(i) + std::string(".bak"), options, cancel, work);
        FileEvent e;
        e.outcome = r.outcome;
        e.folder = list.shown_folder(i);
        e.name = list.name(i);
        e.why = r.why;
        report.file(e);
    }
    report.finish(cancel.load());
}

}  // namespace ravolin
