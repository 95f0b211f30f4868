#include "batch/replace.h"

#include "batch/file_list.h"
#include "batch/temp_name.h"

namespace ravolin {
namespace {

unsigned long g_temp_serial = 0;
unsigned char g_copy_buffer[1 << 16];
char g_target[kRunPathSize];
char g_temp[kRunPathSize];

// Copies every byte of in to out; false when one could not be read or written.
bool copy_bytes(InFile& in, OutFile& out) {
    for (;;) {
        const long n = in.read(g_copy_buffer, sizeof g_copy_buffer);
        if (n < 0) return false;
        if (n == 0) return true;
        if (!out.write(g_copy_buffer, static_cast<std::size_t>(n))) return false;
    }
}

}  // namespace

bool temp_beside(FileSystem& fs, char* out, const char* path) {
    const std::size_t folder_len = folder_part_length(path, fs.has_drive_letters(), fs.lead_bytes());
    return make_temp_name(out, kRunPathSize, path, folder_len, fs.process_id(), ++g_temp_serial);
}

InPlace write_in_place(FileSystem& fs, const char* from, const char* target) {
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

InPlace replace_with_copy(FileSystem& fs, const char* from, const char* name) {
    FileInfo info;
    if (fs.stat(name, &info) != FsError::kNone) return InPlace::kUntouched;
    if (info.shared) return write_in_place(fs, from, name);
    if (fs.resolve(name, g_target, sizeof g_target) != FsError::kNone || !temp_beside(fs, g_temp, g_target)) {
        return InPlace::kUntouched;
    }
    InFile* in = fs.open_read(from);
    if (!in) return InPlace::kUntouched;
    InFileCloser in_closer(in);
    FsError created;
    OutFile* out = fs.create_new(g_temp, info, &created);
    if (!out) return InPlace::kUntouched;
    OutFileCloser out_closer(out);
    const bool copied = copy_bytes(*in, *out);
    const bool closed = out_closer.close();
    FsError flushed = FsError::kIo;
    const char* temp = g_temp;
    if (copied && closed) fs.flush(&temp, 1, &flushed);
    if (flushed != FsError::kNone || fs.rename_replace(g_temp, g_target) != FsError::kNone) {
        fs.remove(g_temp);
        return InPlace::kUntouched;
    }
    return InPlace::kDone;
}

}  // namespace ravolin
