// The file-system seam over POSIX calls. Names match like the Win32 search
// but case-sensitively, and come back in byte order so that a run is
// repeatable; only directories and regular files are ever listed. Paths are
// used as given: nothing here changes the current directory.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/bounded_text.h"
#include "batch/run.h"
#include "batch/wildcard.h"

namespace ravolin {
namespace {

FsError from_errno(int err) {
    switch (err) {
        case 0: return FsError::kNone;
        case EEXIST: return FsError::kExists;
        case ENOENT:
        case ENOTDIR: return FsError::kNotFound;
        case EACCES:
        case EPERM:
        case EROFS: return FsError::kAccessDenied;
        case ETXTBSY:
        case EBUSY: return FsError::kInUse;
        case ENOSPC:
        case EDQUOT: return FsError::kNoSpace;
        case ENAMETOOLONG: return FsError::kNameTooLong;
        default: return FsError::kIo;
    }
}

FsError last_error() { return from_errno(errno); }

// Whether a new file made by this process could be given st's owner and
// group: always for root, else only for the owner's own files in one of
// the owner's groups.
bool owner_kept(const struct stat& st) {
    const uid_t me = ::geteuid();
    if (me == 0) return true;
    if (st.st_uid != me) return false;
    if (st.st_gid == ::getegid()) return true;
    gid_t groups[256];
    const int n = ::getgroups(256, groups);
    for (int i = 0; i < n; ++i) {
        if (groups[i] == st.st_gid) return true;
    }
    return false;
}

FileInfo info_of(const struct stat& st) {
    FileInfo info;
    info.size = static_cast<long long>(st.st_size);
    info.mtime = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    info.device = static_cast<unsigned long long>(st.st_dev);
    info.id = static_cast<unsigned long long>(st.st_ino);
    info.regular = S_ISREG(st.st_mode);
    // A renamed-in copy would belong to whoever runs this, and lose the
    // set-ID bits with the owner: such a file is rewritten where it is.
    info.shared = st.st_nlink > 1 || (info.regular && !owner_kept(st));
    info.attributes = st.st_mode & 07777;
    info.owner = st.st_uid;
    info.group = st.st_gid;
    return info;
}

class FdInFile final : public InFile {
public:
    bool open(const char* name) {
        fd_ = ::open(name, O_RDONLY | O_CLOEXEC);
        return fd_ >= 0;
    }
    bool busy() const { return fd_ >= 0; }
    long read(unsigned char* buf, std::size_t n) override {
        for (;;) {
            ssize_t got = ::read(fd_, buf, n);
            if (got >= 0) return static_cast<long>(got);
            if (errno != EINTR) return -1;
        }
    }
    void close() override {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

bool write_all(int fd, const unsigned char* buf, std::size_t n) {
    while (n > 0) {
        ssize_t put = ::write(fd, buf, n);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        buf += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

// The kernel clears set-ID bits when a file is written by someone without
// the privilege to set them, so the mode is applied again once the bytes are
// in: mode is what the file must end with, -1 for nothing to keep.
class FdOutFile final : public OutFile {
public:
    bool open(const char* name) {
        struct stat st;
        const int mode = ::stat(name, &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
        return adopt(::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666), mode);
    }
    bool adopt(int fd, int mode = -1) {
        fd_ = fd;
        ok_ = fd_ >= 0;
        mode_ = mode;
        return ok_;
    }
    bool write(const unsigned char* buf, std::size_t n) override {
        if (ok_ && !write_all(fd_, buf, n)) ok_ = false;
        return ok_;
    }
    bool close() override {
        if (fd_ < 0) return false;
        struct stat st;
        if (mode_ >= 0 && ::fstat(fd_, &st) == 0 && static_cast<int>(st.st_mode & 07777) != mode_) {
            (void)::fchmod(fd_, static_cast<mode_t>(mode_));  // the owner may; nobody else could keep them
        }
        if (::close(fd_) != 0) ok_ = false;
        fd_ = -1;
        return ok_;
    }

private:
    int fd_ = -1;
    int mode_ = -1;
    bool ok_ = false;
};

// Closes a descriptor when the scope ends.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now; false when the close reported an error.
    bool close() { return ::close(release()) == 0; }

private:
    int fd_;
};

FsError flush_one(const char* name) {
    Fd fd(::open(name, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return last_error();
    if (::fsync(fd.get()) != 0) return last_error();
    return fd.close() ? FsError::kNone : last_error();
}

// Flushes in parallel: the file system then commits many files' flushes in
// one go, where one after the other each would wait for the disk on its own.
// The threads stay for the next group: started anew for every group they
// cost more than a group of small files takes to flush.
class FlushPool {
public:
    ~FlushPool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        work_.notify_all();
        for (int i = 0; i < started_; ++i) threads_[i].join();
    }

    // Hands the files to the threads and returns; the caller may help.
    void start(const char* const* names, int count, FsError* results) {
        std::lock_guard<std::mutex> lock(mutex_);
        names_ = names;
        results_ = results;
        count_ = count;
        next_ = 0;
        done_ = 0;
        for (; started_ < kMaxThreads && started_ < count; ++started_) {
            try {
                threads_[started_] = std::thread([this] { serve(); });
            } catch (...) {
                break;  // fewer threads; wait() does what they leave
            }
        }
        work_.notify_all();
    }

    // Until every file of the last start() is flushed.
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (next_ < count_) flush_next(lock);  // no thread could be started
        finished_.wait(lock, [this] { return done_ == count_; });
    }

private:
    static constexpr int kMaxThreads = 32;

    void serve() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            work_.wait(lock, [this] { return stop_ || next_ < count_; });
            if (stop_) return;
            flush_next(lock);
        }
    }

    void flush_next(std::unique_lock<std::mutex>& lock) {
        const int i = next_++;
        lock.unlock();
        const FsError result = flush_one(names_[i]);
        lock.lock();
        results_[i] = result;
        if (++done_ == count_) finished_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable work_, finished_;
    const char* const* names_ = nullptr;
    FsError* results_ = nullptr;
    int count_ = 0, next_ = 0, done_ = 0;
    bool stop_ = false;
    int started_ = 0;
    std::thread threads_[kMaxThreads];
};

class PosixFileSystem final : public FileSystem {
public:
    ~PosixFileSystem() override { finish_flush(); }

    bool search(const char* folder, const char* pattern, SearchSink& sink) override {
        DIR* dir = ::opendir(folder[0] == '\0' ? "." : folder);
        if (!dir) {
            search_error_ = last_error();
            return false;
        }
        if (pattern[0] == '\0') {
            ::closedir(dir);
            return true;
        }
        std::vector<std::string> names;
        for (;;) {
            errno = 0;
            const dirent* d = ::readdir(dir);
            if (!d) break;
            if (wildcard_match(pattern, d->d_name)) names.emplace_back(d->d_name);
        }
        if (errno != 0) {
            // A folder read part-way is no empty folder.
            search_error_ = last_error();
            ::closedir(dir);
            return false;
        }
        std::sort(names.begin(), names.end());  // std::string compares as unsigned bytes
        const int dfd = ::dirfd(dir);
        for (const std::string& name : names) {
            struct stat st;
            if (::fstatat(dfd, name.c_str(), &st, 0) != 0) continue;  // dangling link, gone
            const bool is_dir = S_ISDIR(st.st_mode);
            if (!is_dir && !S_ISREG(st.st_mode)) continue;  // a FIFO would block the run
            if (!sink.take(FoundEntry{name.c_str(), is_dir})) break;
        }
        ::closedir(dir);
        return true;
    }

    bool absolute_folder(const char* folder, char* out, std::size_t cap) override {
        std::size_t n = 0;
        if (folder[0] != '/' && folder[0] != '\\') {
            if (!::getcwd(out, cap)) return false;
            n = std::strlen(out);
            if (n > 0 && out[n - 1] == '/') --n;
            if (n + 1 >= cap) return false;
            out[n++] = '/';
        }
        // Both separate folders here.
        for (const char* c = folder; *c != '\0'; ++c) {
            if (n + 1 >= cap) return false;
            out[n++] = *c == '\\' ? '/' : *c;
        }
        if (out[n - 1] != '/') {
            if (n + 1 >= cap) return false;
            out[n++] = '/';
        }
        out[n] = '\0';
        return true;
    }

    bool is_folder(const char* path) override {
        struct stat st;
        return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
    }

    void subfolders(const char* folder, std::vector<std::string>& names) override {
        names.clear();
        DIR* dir = ::opendir(folder);
        if (!dir) return;
        const int dfd = ::dirfd(dir);
        while (const dirent* d = ::readdir(dir)) {
            if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
            // d_type spares a stat per entry where the file system fills it in.
            bool dir_entry = d->d_type == DT_DIR;
            if (d->d_type == DT_UNKNOWN) {
                struct stat st;
                dir_entry = ::fstatat(dfd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
            }
            if (dir_entry) names.emplace_back(d->d_name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
    }

    FsError stat(const char* name, FileInfo* info) override {
        struct stat st;
        if (::stat(name, &st) != 0) return last_error();
        *info = info_of(st);
        return FsError::kNone;
    }

    FsError resolve(const char* name, char* target, std::size_t cap) override {
        struct stat st;
        if (::lstat(name, &st) != 0) return last_error();
        if (!S_ISLNK(st.st_mode)) return copy_text(target, cap, name) ? FsError::kNone : FsError::kNameTooLong;
        char real[PATH_MAX];
        if (!::realpath(name, real)) return last_error();
        return copy_text(target, cap, real) ? FsError::kNone : FsError::kNameTooLong;
    }

    CopyResult copy_new(const char* from, const char* to, const std::atomic<bool>& cancel) override {
        CopyResult r;
        Fd src(::open(from, O_RDONLY | O_CLOEXEC));
        struct stat st;
        if (src.get() < 0 || ::fstat(src.get(), &st) != 0) return failed(r, last_error(), true);
        if (!S_ISREG(st.st_mode)) return failed(r, FsError::kIo, true);
        // O_EXCL: an existing file is never overwritten, not even one that
        // appeared a moment ago.
        Fd dst(::open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (dst.get() < 0) return failed(r, last_error(), false);
        long long copied = 0;
        for (;;) {
            if (cancel.load(std::memory_order_relaxed)) {
                r.error = FsError::kCancelled;
                break;
            }
            ssize_t got = ::read(src.get(), buffer_, sizeof buffer_);
            if (got < 0 && errno == EINTR) continue;
            if (got == 0) break;
            if (got < 0) {
                failed(r, last_error(), true);
                break;
            }
            if (!write_all(dst.get(), buffer_, static_cast<std::size_t>(got))) {
                failed(r, last_error(), false);
                break;
            }
            copied += got;
        }
        if (r.error == FsError::kNone && ::fchmod(dst.get(), st.st_mode & 0777) != 0) failed(r, last_error(), false);
        if (!dst.close() && r.error == FsError::kNone) failed(r, last_error(), false);
        // A partial copy must not pass for a backup.
        if (r.error != FsError::kNone) ::unlink(to);
        r.info = info_of(st);
        r.info.size = copied;
        return r;
    }

    InFile* open_read(const char* name) override {
        for (FdInFile& in : in_) {
            if (!in.busy()) return in.open(name) ? &in : nullptr;
        }
        return nullptr;
    }
    OutFile* open_write(const char* name) override { return out_.open(name) ? &out_ : nullptr; }

    OutFile* create_new(const char* name, const FileInfo& like, FsError* error) override {
        Fd fd(::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (fd.get() < 0) {
            *error = last_error();
            return nullptr;
        }
        // Owner first: a change of owner may clear the set-id bits. Only
        // root may give a file away; a member may still set the group.
        const uid_t owner = static_cast<uid_t>(like.owner);
        const gid_t group = static_cast<gid_t>(like.group);
        if (::fchown(fd.get(), owner, group) != 0) (void)::fchown(fd.get(), static_cast<uid_t>(-1), group);
        if (::fchmod(fd.get(), static_cast<mode_t>(like.attributes & 07777)) != 0) {
            *error = last_error();
            ::unlink(name);
            return nullptr;
        }
        *error = FsError::kNone;
        out_.adopt(fd.release(), static_cast<int>(like.attributes & 07777));
        return &out_;
    }

    // The flush runs beside the caller, who meanwhile converts the next files.
    void start_flush(const char* const* names, int count, FsError* results) override {
        finish_flush();
        flushing_ = true;
        flush_pool_.start(names, count, results);
    }
    void finish_flush() override {
        if (flushing_) flush_pool_.wait();
        flushing_ = false;
    }

    FsError link_new(const char* from, const char* to) override {
        return ::linkat(AT_FDCWD, from, AT_FDCWD, to, 0) == 0 ? FsError::kNone : last_error();
    }

    FsError rename_new(const char* from, const char* to) override {
        if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return FsError::kNone;
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return last_error();
        // A file system without the flag: a second link fails on an existing
        // name just the same.
        if (::link(from, to) == 0) {
            ::unlink(from);
            return FsError::kNone;
        }
        if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS) return last_error();
        // Nor with links (FAT): look, then rename. Only another program
        // making the same name in between could be overwritten.
        struct stat st;
        if (::lstat(to, &st) == 0) return FsError::kExists;
        if (errno != ENOENT) return last_error();
        return ::rename(from, to) == 0 ? FsError::kNone : last_error();
    }

    FsError rename_replace(const char* from, const char* to) override {
        // A rename needs only the folder to be writable; the file must be
        // too, as it had to be when it was rewritten where it was.
        if (::access(to, W_OK) != 0) return last_error();
        return ::rename(from, to) == 0 ? FsError::kNone : last_error();
    }

    FsError remove(const char* name) override { return ::unlink(name) == 0 ? FsError::kNone : last_error(); }

    FsError search_error() const override { return search_error_; }

    unsigned long process_id() override { return static_cast<unsigned long>(::getpid()); }
    bool process_alive(unsigned long id) override {
        if (id == 0 || id > static_cast<unsigned long>(INT_MAX)) return false;
        return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
    }

private:
    static CopyResult& failed(CopyResult& r, FsError error, bool source) {
        r.error = error;
        r.source = source;
        return r;
    }

    FdInFile in_[2];
    FdOutFile out_;
    FsError search_error_ = FsError::kIo;
    FlushPool flush_pool_;
    bool flushing_ = false;
    unsigned char buffer_[1 << 16];
};

}  // namespace

FileSystem& platform_file_system() {
    static PosixFileSystem fs;
    return fs;
}

}  // namespace ravolin
