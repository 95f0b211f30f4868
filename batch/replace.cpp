#include "batch/replace.h"

#include "batch/file_list.h"
#include "batch/temp_name.h"

namespace ravolin {

bool Replacer::copy_bytes(InFile& in, OutFile& out) {
    for (;;) {
        const long n = in.read(buffer_, sizeof buffer_);
        if (n < 0) return false;
        if (n == 0) return true;
        if (!out.write(buffer_, static_cast<std::size_t>(n))) return false;
    }
}

bool Replacer::temp_beside(FileSystem& fs, char* out, const char* path, bool mark) {
    const std::size_t folder_len = folder_part_length(path, fs.has_drive_letters(), fs.lead_bytes());
    return make_temp_name(out, kRunPathSize, path, folder_len, fs.process_id(), ++temp_serial_, mark);
}

InPlace Replacer::write_in_place(FileSystem& fs, const char* from, const char* target) {
    FileInfo a, b;
    if (fs.stat(from, &a) != FsError::kNone) return InPlace::kUntouched;
    if (fs.stat(target, &b) == FsError::kNone && a.device == b.device && a.id == b.id) return InPlace::kUntouched;
    InFile* in = fs.open_read(from);
    if (!in) return InPlace::kUntouched;
    InFileCloser in_closer(in);
    OutFile* out = fs.open_write(target);
    if (!out) return InPlace::kUntouched;
    OutFileCloser out_closer(out);
    if (!copy_bytes(*in, *out) || !out_closer.close()) return InPlace::kDamaged;
    FsError flushed;
    fs.flush(&target, 1, &flushed);
    return flushed == FsError::kNone ? InPlace::kDone : InPlace::kDamaged;
}

InPlace Replacer::replace_with_copy(FileSystem& fs, const char* from, const char* path) {
    FileInfo info;
    if (fs.stat(path, &info) != FsError::kNone) return InPlace::kUntouched;
    if (info.shared) return write_in_place(fs, from, path);
    if (fs.resolve(path, target_, sizeof target_) != FsError::kNone || !temp_beside(fs, temp_, target_)) {
        return InPlace::kUntouched;
    }
    InFile* in = fs.open_read(from);
    if (!in) return InPlace::kUntouched;
    InFileCloser in_closer(in);
    FsError created;
    OutFile* out = fs.create_new(temp_, info, &created);
    if (!out) return InPlace::kUntouched;
    OutFileCloser out_closer(out);
    const bool copied = copy_bytes(*in, *out);
    const bool closed = out_closer.close();
    FsError flushed = FsError::kIo;
    const char* temp = temp_;
    if (copied && closed) fs.flush(&temp, 1, &flushed);
    if (flushed != FsError::kNone || fs.rename_replace(temp_, target_) != FsError::kNone) {
        fs.remove(temp_);
        return InPlace::kUntouched;
    }
    return InPlace::kDone;
}

}  // namespace ravolin
