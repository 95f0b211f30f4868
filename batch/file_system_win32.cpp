// The file-system seam over Win32 calls: FindFirstFileA for the search,
// CopyFileExA for the backup (its cancel flag bridged to the run's atomic),
// SetCurrentDirectoryA, and CreateFileA / ReadFile / WriteFile for the files.
#include <windows.h>

#include "base/win32_handle.h"
#include "batch/run.h"

namespace ravolin {
namespace {

// ReadFile and WriteFile take a DWORD count.
constexpr std::size_t kMaxIo = 1u << 30;

class HandleInFile final : public InFile {
public:
    bool open(const char* name) {
        file_.reset(CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        return file_.valid();
    }
    long read(unsigned char* buf, std::size_t n) override {
        DWORD got = 0;
        if (!ReadFile(file_.get(), buf, static_cast<DWORD>(n < kMaxIo ? n : kMaxIo), &got, nullptr)) return -1;
        return static_cast<long>(got);
    }
    void close() override { file_.close(); }

private:
    FileHandle file_;
};

class HandleOutFile final : public OutFile {
public:
    bool open(const char* name) {
        // TRUNCATE_EXISTING keeps the file's attributes, which CREATE_ALWAYS
        // would replace; a file that vanished meanwhile is created anew.
        HANDLE h = CreateFileA(name, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
            h = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        file_.reset(h);
        ok_ = file_.valid();
        return ok_;
    }
    bool write(const unsigned char* buf, std::size_t n) override {
        while (ok_ && n > 0) {
            DWORD chunk = static_cast<DWORD>(n < kMaxIo ? n : kMaxIo), put = 0;
            if (!WriteFile(file_.get(), buf, chunk, &put, nullptr) || put != chunk) ok_ = false;
            buf += put;
            n -= put;
        }
        return ok_;
    }
    bool close() override {
        if (!file_.close()) ok_ = false;
        return ok_;
    }

private:
    FileHandle file_;
    bool ok_ = false;
};

// Bridges the run's atomic cancel flag into CopyFileExA, whose own flag is a
// plain BOOL: the progress routine asks for a cancel once the atomic is set.
DWORD CALLBACK copy_progress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD, HANDLE,
                             HANDLE, LPVOID data) {
    const auto* cancel = static_cast<const std::atomic<bool>*>(data);
    return cancel->load(std::memory_order_relaxed) ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

class Win32FileSystem final : public FileSystem {
public:
    bool has_drive_letters() const override { return true; }

    bool set_current_dir(const char* folder) override { return SetCurrentDirectoryA(folder) != 0; }

    void search(const char* pattern, SearchSink& sink) override {
        if (pattern[0] == '\0') return;
        WIN32_FIND_DATAA data;
        FindHandle find(FindFirstFileA(pattern, &data));
        if (!find.valid()) return;
        do {
            const bool dir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (!sink.take(FoundEntry{data.cFileName, dir})) break;
        } while (FindNextFileA(find.get(), &data));
    }

    CopyResult copy_new(const char* from, const char* to, const std::atomic<bool>& cancel) override {
        if (cancel.load(std::memory_order_relaxed)) return CopyResult::kCancelled;
        // Only a backup that did not exist before may be removed after a
        // failed copy: an older one may be the only original left.
        if (GetFileAttributesA(to) != INVALID_FILE_ATTRIBUTES || GetLastError() != ERROR_FILE_NOT_FOUND) {
            return CopyResult::kFailed;
        }
        BOOL cancel_flag = FALSE;
        if (CopyFileExA(from, to, copy_progress, const_cast<std::atomic<bool>*>(&cancel), &cancel_flag,
                        COPY_FILE_FAIL_IF_EXISTS)) {
            return CopyResult::kCopied;
        }
        const DWORD err = GetLastError();
        // The backup did not exist a moment ago, so whatever is there now is
        // a partial copy of ours: it would make every later run refuse the file.
        if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) DeleteFileA(to);
        return err == ERROR_REQUEST_ABORTED || cancel.load(std::memory_order_relaxed) ? CopyResult::kCancelled
                                                                                       : CopyResult::kFailed;
    }

    InFile* open_read(const char* name) override { return in_.open(name) ? &in_ : nullptr; }
    OutFile* open_write(const char* name) override { return out_.open(name) ? &out_ : nullptr; }

private:
    HandleInFile in_;
    HandleOutFile out_;
};

}  // namespace

FileSystem& platform_file_system() {
    static Win32FileSystem fs;
    return fs;
}

}  // namespace ravolin
