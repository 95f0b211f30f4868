#include "streams/stdio_streams.h"

#include <sys/stat.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>

#include <cerrno>
#endif

namespace ravolin {

void set_binary_mode(std::FILE* f) {
#ifdef _WIN32
    _setmode(_fileno(f), _O_BINARY);
#else
    (void)f;
#endif
}

bool is_regular_file(std::FILE* f) {
#ifdef _WIN32
    struct _stat64 st;
    return _fstat64(_fileno(f), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
#else
    struct stat st;
    return fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

long FileSource::read(unsigned char* buf, std::size_t n) {
    std::size_t got = std::fread(buf, 1, n, f_);
    if (got == 0 && std::ferror(f_)) return -1;
    return static_cast<long>(got);
}

bool FileSink::write(const unsigned char* buf, std::size_t n) {
#ifndef _WIN32
    // A large write goes straight to the descriptor, after what the stream
    // holds: through the stream's small buffer it would take two or three
    // system calls and a copy, and a system call costs microseconds on a
    // virtual machine.
    constexpr std::size_t kDirect = 16 * 1024;
    if (n >= kDirect) {
        if (std::fflush(f_) != 0) return false;
        const int fd = fileno(f_);
        while (n > 0) {
            const ssize_t k = ::write(fd, buf, n);
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) return false;
            buf += k;
            n -= static_cast<std::size_t>(k);
        }
        return true;
    }
#endif
    return std::fwrite(buf, 1, n, f_) == n;
}

}  // namespace ravolin
