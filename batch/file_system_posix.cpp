// The file-system seam over POSIX calls. Names match like the Win32 search
// but case-sensitively, and come back in byte order so that a run is
// repeatable; only directories and regular files are ever listed.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "batch/run.h"
#include "batch/wildcard.h"

namespace ravolin {
namespace {

class FdInFile final : public InFile {
public:
    bool open(const char* name) {
        fd_ = ::open(name, O_RDONLY | O_CLOEXEC);
        return fd_ >= 0;
    }
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

class FdOutFile final : public OutFile {
public:
    bool open(const char* name) {
        fd_ = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        ok_ = fd_ >= 0;
        return ok_;
    }
    bool write(const unsigned char* buf, std::size_t n) override {
        if (ok_ && !write_all(fd_, buf, n)) ok_ = false;
        return ok_;
    }
    bool close() override {
        if (fd_ < 0) return false;
        if (::close(fd_) != 0) ok_ = false;
        fd_ = -1;
        return ok_;
    }

private:
    int fd_ = -1;
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
    // Closes now; false when the close reported an error.
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return fd >= 0 && ::close(fd) == 0;
    }

private:
    int fd_;
};

class PosixFileSystem final : public FileSystem {
public:
    bool set_current_dir(const char* folder) override {
        char path[kRunPathSize];
        std::size_t i = 0;
        for (; folder[i] != '\0' && i + 1 < sizeof path; ++i) path[i] = folder[i] == '\\' ? '/' : folder[i];
        if (folder[i] != '\0') return false;
        path[i] = '\0';
        return ::chdir(path) == 0;
    }

    void search(const char* pattern, SearchSink& sink) override {
        if (pattern[0] == '\0') return;
        DIR* dir = ::opendir(".");
        if (!dir) return;
        std::vector<std::string> names;
        while (const dirent* d = ::readdir(dir)) {
            if (wildcard_match(pattern, d->d_name)) names.emplace_back(d->d_name);
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
    }

    CopyResult copy_new(const char* from, const char* to, const std::atomic<bool>& cancel) override {
        Fd src(::open(from, O_RDONLY | O_CLOEXEC));
        struct stat st;
        if (src.get() < 0 || ::fstat(src.get(), &st) != 0 || !S_ISREG(st.st_mode)) return CopyResult::kFailed;
        // O_EXCL: an existing backup is never overwritten, not even one that
        // appeared a moment ago.
        Fd dst(::open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (dst.get() < 0) return CopyResult::kFailed;
        CopyResult result = CopyResult::kCopied;
        for (;;) {
            if (cancel.load(std::memory_order_relaxed)) {
                result = CopyResult::kCancelled;
                break;
            }
            ssize_t got = ::read(src.get(), buffer_, sizeof buffer_);
            if (got < 0 && errno == EINTR) continue;
            if (got == 0) break;
            if (got < 0 || !write_all(dst.get(), buffer_, static_cast<std::size_t>(got))) {
                result = CopyResult::kFailed;
                break;
            }
        }
        if (result == CopyResult::kCopied && ::fchmod(dst.get(), st.st_mode & 0777) != 0) {
            result = CopyResult::kFailed;
        }
        if (!dst.close() && result == CopyResult::kCopied) result = CopyResult::kFailed;
        // A partial backup would make every later run refuse the file.
        if (result != CopyResult::kCopied) ::unlink(to);
        return result;
    }

    InFile* open_read(const char* name) override { return in_.open(name) ? &in_ : nullptr; }
    OutFile* open_write(const char* name) override { return out_.open(name) ? &out_ : nullptr; }

private:
    FdInFile in_;
    FdOutFile out_;
    unsigned char buffer_[1 << 16];
};

}  // namespace

FileSystem& platform_file_system() {
    static PosixFileSystem fs;
    return fs;
}

}  // namespace ravolin
