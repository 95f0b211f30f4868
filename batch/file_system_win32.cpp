// The file-system seam over Win32 calls: FindFirstFileW for the search,
// CopyFileExW for the backup (its cancel flag bridged to the run's atomic),
// GetFullPathNameW, CreateFileW / ReadFile / WriteFile for the files,
// FlushFileBuffers, and MoveFileExW for the renames. MoveFileExW rather than
// ReplaceFileW puts a file in place: on some failures ReplaceFileW leaves the
// replaced file under no name at all.
//
// Paths come in as UTF-8 and go to the system as UTF-16, so that every name
// the file system holds is reached, whatever the ANSI code page: the ANSI
// calls would see a name outside it as '?', a wildcard.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "base/bounded_text.h"
#include "base/utf16_text.h"
#include "base/win32_handle.h"
#include "batch/run.h"

namespace ravolin {
namespace {

// ReadFile and WriteFile take a DWORD count.
constexpr std::size_t kMaxIo = 1u << 30;

FsError from_win32(DWORD err) {
    switch (err) {
        case ERROR_SUCCESS: return FsError::kNone;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return FsError::kExists;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return FsError::kNotFound;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME: return FsError::kBadName;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_PRIVILEGE_NOT_HELD: return FsError::kAccessDenied;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE: return FsError::kInUse;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return FsError::kNoSpace;
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_BUFFER_OVERFLOW: return FsError::kNameTooLong;
        case ERROR_REQUEST_ABORTED: return FsError::kCancelled;
        default: return FsError::kIo;
    }
}

FsError last_error() { return from_win32(GetLastError()); }

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");

// Longest path the plain form takes (MAX_PATH less room for a file name of
// 8.3 that a folder must leave); longer ones go in the \\?\ form, which
// takes up to 32767 units on any version of Windows, whatever its
// long-path policy.
constexpr std::size_t kPlainPathLimit = MAX_PATH - 12;

// A UTF-8 path as Windows takes it. A path that is no UTF-8 is no name the
// system could have given, and fails with ERROR_INVALID_NAME.
class WidePath {
public:
    explicit WidePath(const char* utf8) {
        std::u16string units;
        if (!utf8_to_utf16(utf8, std::strlen(utf8), units)) {
            // A name with a character no Windows name may hold: the call
            // fails with ERROR_INVALID_NAME and reaches no file.
            path_ = L"|";
            return;
        }
        path_.assign(units.begin(), units.end());
        ok_ = true;
        if (path_.size() >= kPlainPathLimit) long_form();
    }
    const wchar_t* get() const { return path_.c_str(); }
    bool ok() const { return ok_; }

private:
    // The \\?\ form takes the path as it is, so it is made full first:
    // '/' becomes '\\', "." and ".." go, a relative path gets its folder.
    void long_form() {
        if (path_.compare(0, 4, L"\\\\?\\") == 0 || path_.compare(0, 4, L"\\\\.\\") == 0) return;
        std::wstring full(path_.size() + MAX_PATH, L'\0');
        DWORD n = GetFullPathNameW(path_.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (n >= full.size()) {
            full.resize(n + 1);
            n = GetFullPathNameW(path_.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        }
        if (n == 0 || n >= full.size()) return;  // the plain form then fails as it would
        full.resize(n);
        if (full.compare(0, 2, L"\\\\") == 0) {
            path_ = L"\\\\?\\UNC\\" + full.substr(2);
        } else {
            path_ = L"\\\\?\\" + full;
        }
    }

    std::wstring path_;
    bool ok_ = false;
};

// A name the system gave, for the run.
std::string narrow_name(const wchar_t* name) {
    std::string out;
    utf16_to_utf8(reinterpret_cast<const char16_t*>(name), std::wcslen(name), out);
    return out;
}

FileInfo info_of(const BY_HANDLE_FILE_INFORMATION& fi) {
    FileInfo info;
    info.size = static_cast<long long>((static_cast<unsigned long long>(fi.nFileSizeHigh) << 32) | fi.nFileSizeLow);
    info.mtime = static_cast<long long>((static_cast<unsigned long long>(fi.ftLastWriteTime.dwHighDateTime) << 32) |
                                        fi.ftLastWriteTime.dwLowDateTime);
    info.device = fi.dwVolumeSerialNumber;
    info.id = (static_cast<unsigned long long>(fi.nFileIndexHigh) << 32) | fi.nFileIndexLow;
    info.shared = fi.nNumberOfLinks > 1;
    info.regular = (fi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    info.attributes = fi.dwFileAttributes;
    return info;
}

// Attributes a new file may be created with.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

FsError flush_one(const char* name) {
    FileHandle f;
    f.reset(CreateFileW(WidePath(name).get(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.valid()) return last_error();
    if (!FlushFileBuffers(f.get())) return last_error();
    return f.close() ? FsError::kNone : last_error();
}

class HandleInFile final : public InFile {
public:
    bool open(const char* name) {
        file_.reset(CreateFileW(WidePath(name).get(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        return file_.valid();
    }
    long read(unsigned char* buf, std::size_t n) override {
        DWORD got = 0;
        if (!ReadFile(file_.get(), buf, static_cast<DWORD>(n < kMaxIo ? n : kMaxIo), &got, nullptr)) return -1;
        return static_cast<long>(got);
    }
    void close() override { file_.close(); }
    bool busy() const { return file_.valid(); }

private:
    FileHandle file_;
};

class HandleOutFile final : public OutFile {
public:
    bool adopt(HANDLE h) {
        file_.reset(h);
        ok_ = file_.valid();
        return ok_;
    }
    bool open(const char* name) {
        // TRUNCATE_EXISTING keeps the file's attributes, which CREATE_ALWAYS
        // would replace; a file that vanished meanwhile is created anew.
        const WidePath path(name);
        HANDLE h = CreateFileW(path.get(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
            h = CreateFileW(path.get(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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

// Bridges the run's atomic cancel flag into CopyFileExW, whose own flag is a
// plain BOOL: the progress routine asks for a cancel once the atomic is set.
DWORD CALLBACK copy_progress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD, HANDLE,
                             HANDLE, LPVOID data) {
    const auto* cancel = static_cast<const std::atomic<bool>*>(data);
    return cancel->load(std::memory_order_relaxed) ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

class Win32FileSystem final : public FileSystem {
public:
    bool has_drive_letters() const override { return true; }

    // Names are UTF-8 here, whose every byte of a multi-byte character is
    // 0x80 or above: no byte of one is ever a separator.
    const LeadBytes& lead_bytes() const override { return kNoLeadBytes; }

    bool search(const char* folder, const char* pattern, SearchSink& sink) override {
        if (pattern[0] == '\0') return true;
        std::string path = folder;
        path += pattern;
        WIN32_FIND_DATAW data;
        const WidePath wide(path.c_str());
        if (!wide.ok()) return false;
        FindHandle find(FindFirstFileW(wide.get(), &data));
        // No match at all is no failure.
        if (!find.valid()) {
            const DWORD err = GetLastError();
            search_error_ = from_win32(err);
            return err == ERROR_FILE_NOT_FOUND || err == ERROR_NO_MORE_FILES;
        }
        do {
            const bool dir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            const std::string name = narrow_name(data.cFileName);
            if (!sink.take(FoundEntry{name.c_str(), dir})) return true;
        } while (FindNextFileW(find.get(), &data));
        // A folder read part-way is no empty folder.
        const DWORD err = GetLastError();
        search_error_ = from_win32(err);
        return err == ERROR_NO_MORE_FILES;
    }
    FsError search_error() const override { return search_error_; }

    bool absolute_folder(const char* folder, char* out, std::size_t cap) override {
        const WidePath wide(folder[0] == '\0' ? "." : folder);
        if (!wide.ok()) return false;
        std::wstring full(MAX_PATH, L'\0');
        DWORD n = GetFullPathNameW(wide.get(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (n >= full.size()) {
            full.resize(n + 1);
            n = GetFullPathNameW(wide.get(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        }
        if (n == 0 || n >= full.size()) return false;
        full.resize(n);
        // The run shows its paths: the long form the seam adds for itself
        // stays out of them.
        if (std::strncmp(folder, "\\\\?\\", 4) != 0) {
            if (full.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
                full = L"\\" + full.substr(7);
            } else if (full.compare(0, 4, L"\\\\?\\") == 0) {
                full = full.substr(4);
            }
        }
        const std::string narrow = narrow_name(full.c_str());
        if (narrow.empty() || narrow.size() + 2 > cap) return false;
        std::memcpy(out, narrow.c_str(), narrow.size() + 1);
        const std::size_t len = narrow.size();
        if (out[len - 1] != '\\' && out[len - 1] != '/') {
            out[len] = '\\';
            out[len + 1] = '\0';
        }
        return true;
    }

    bool is_folder(const char* path) override {
        const DWORD attributes = GetFileAttributesW(WidePath(path).get());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }

    void subfolders(const char* folder, std::vector<std::string>& names) override {
        names.clear();
        std::string path = folder;
        path += '*';
        const WidePath wide(path.c_str());
        if (!wide.ok()) return;
        WIN32_FIND_DATAW data;
        FindHandle find(FindFirstFileW(wide.get(), &data));
        if (!find.valid()) return;
        do {
            const DWORD a = data.dwFileAttributes;
            if ((a & FILE_ATTRIBUTE_DIRECTORY) == 0 || (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
            if (std::wcscmp(data.cFileName, L".") == 0 || std::wcscmp(data.cFileName, L"..") == 0) continue;
            names.push_back(narrow_name(data.cFileName));
        } while (FindNextFileW(find.get(), &data));
        std::sort(names.begin(), names.end());
    }

    FsError stat(const char* name, FileInfo* info) override {
        // Opened for its attributes only: never in another program's way.
        const WidePath path(name);
        FileHandle f;
        f.reset(CreateFileW(path.get(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION fi;
        if (!f.valid() || !GetFileInformationByHandle(f.get(), &fi)) return last_error();
        *info = info_of(fi);
        // A symbolic link is rewritten through, like a hard link: replacing
        // it would put a plain file in its place.
        const DWORD attrs = GetFileAttributesW(path.get());
        if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT)) info->shared = true;
        return FsError::kNone;
    }

    FsError resolve(const char* name, char* target, std::size_t cap) override {
        std::size_t n = std::strlen(name);
        if (n >= cap) return FsError::kNameTooLong;
        std::memcpy(target, name, n + 1);
        return FsError::kNone;
    }

    CopyResult copy_new(const char* from, const char* to, const std::atomic<bool>& cancel) override {
        CopyResult r;
        if (cancel.load(std::memory_order_relaxed)) return failed(r, FsError::kCancelled, false);
        // Held open while the bytes move: it tells a source that cannot be
        // read from a copy that cannot be written, and no other program can
        // write the file meanwhile.
        const WidePath source(from), copy(to);
        FileHandle src;
        src.reset(CreateFileW(source.get(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
        BY_HANDLE_FILE_INFORMATION fi;
        if (!src.valid() || !GetFileInformationByHandle(src.get(), &fi)) return failed(r, last_error(), true);
        // Only a copy that did not exist before may be removed after a
        // failure: an older file of that name may be the only original left.
        if (GetFileAttributesW(copy.get()) != INVALID_FILE_ATTRIBUTES) return failed(r, FsError::kExists, false);
        if (GetLastError() != ERROR_FILE_NOT_FOUND) return failed(r, last_error(), false);
        BOOL cancel_flag = FALSE;
        if (!CopyFileExW(source.get(), copy.get(), copy_progress, const_cast<std::atomic<bool>*>(&cancel), &cancel_flag,
                         COPY_FILE_FAIL_IF_EXISTS)) {
            const DWORD err = GetLastError();
            // The name was free a moment ago, so whatever is there now is a
            // partial copy of ours.
            if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) remove(to);
            return failed(r, cancel.load(std::memory_order_relaxed) ? FsError::kCancelled : from_win32(err), false);
        }
        if (!GetFileInformationByHandle(src.get(), &fi)) {
            remove(to);
            return failed(r, last_error(), true);
        }
        r.info = info_of(fi);
        return r;
    }

    InFile* open_read(const char* name) override {
        for (HandleInFile& in : in_) {
            if (!in.busy()) return in.open(name) ? &in : nullptr;
        }
        return nullptr;
    }
    OutFile* open_write(const char* name) override { return out_.open(name) ? &out_ : nullptr; }

    OutFile* create_new(const char* name, const FileInfo& like, FsError* error) override {
        const DWORD attrs = static_cast<DWORD>(like.attributes) & kKeptAttributes;
        HANDLE h = CreateFileW(WidePath(name).get(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attrs ? attrs : FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        *error = h == INVALID_HANDLE_VALUE ? last_error() : FsError::kNone;
        return out_.adopt(h) ? &out_ : nullptr;
    }

    void start_flush(const char* const* names, int count, FsError* results) override {
        for (int i = 0; i < count; ++i) results[i] = flush_one(names[i]);
    }
    void finish_flush() override {}

    FsError rename_new(const char* from, const char* to) override {
        return MoveFileExW(WidePath(from).get(), WidePath(to).get(), MOVEFILE_WRITE_THROUGH) ? FsError::kNone
                                                                                           : last_error();
    }

    FsError rename_replace(const char* from, const char* to) override {
        // A read-only file could not have been rewritten in place either.
        const WidePath target(to);
        const DWORD attrs = GetFileAttributesW(target.get());
        if (attrs == INVALID_FILE_ATTRIBUTES) return last_error();
        if (attrs & FILE_ATTRIBUTE_READONLY) return FsError::kAccessDenied;
        return MoveFileExW(WidePath(from).get(), target.get(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                   ? FsError::kNone
                   : last_error();
    }

    FsError remove(const char* name) override {
        const WidePath path(name);
        if (DeleteFileW(path.get())) return FsError::kNone;
        const FsError err = last_error();
        // A copy of a read-only file is read-only too.
        const DWORD attrs = GetFileAttributesW(path.get());
        if (err != FsError::kAccessDenied || attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_READONLY) ||
            !SetFileAttributesW(path.get(), attrs & ~FILE_ATTRIBUTE_READONLY)) {
            return err;
        }
        return DeleteFileW(path.get()) ? FsError::kNone : last_error();
    }

    unsigned long process_id() override { return GetCurrentProcessId(); }
    bool process_alive(unsigned long id) override {
        ProcessHandle process(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id)));
        if (!process.valid()) return GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours to look at
        return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
    }

private:
    static CopyResult failed(CopyResult& r, FsError error, bool source) {
        r.error = error;
        r.source = source;
        return r;
    }

    HandleInFile in_[2];
    HandleOutFile out_;
    FsError search_error_ = FsError::kIo;
};

}  // namespace

FileSystem& platform_file_system() {
    static Win32FileSystem fs;
    return fs;
}

}  // namespace ravolin
