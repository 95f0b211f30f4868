#include "cli/terminal.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace ravolin {

bool is_terminal(std::FILE* f) {
#ifdef _WIN32
    return _isatty(_fileno(f)) != 0;
#else
    return ::isatty(::fileno(f)) != 0;
#endif
}

int terminal_width(std::FILE* f) {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    if (GetConsoleScreenBufferInfo(h, &info)) return info.srWindow.Right - info.srWindow.Left + 1;
#else
    winsize ws;
    if (::ioctl(::fileno(f), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
#endif
    return 80;
}

}  // namespace ravolin
