#include "cli/terminal.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <string>
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

bool write_text(std::FILE* f, const char* text, std::size_t n) {
#ifdef _WIN32
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    DWORD mode;
    if (h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode)) {
        if (std::fflush(f) != 0) return false;
        // Bytes that are no UTF-8 show as U+FFFD rather than stop the line.
        const int units = n == 0 ? 0 : MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(n), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(units), L'\0');
        if (units > 0) MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(n), &wide[0], units);
        for (std::size_t done = 0; done < wide.size();) {
            DWORD put = 0;
            const DWORD chunk = static_cast<DWORD>(wide.size() - done < 8192 ? wide.size() - done : 8192);
            if (!WriteConsoleW(h, wide.data() + done, chunk, &put, nullptr) || put == 0) return false;
            done += put;
        }
        return true;
    }
#endif
    return std::fwrite(text, 1, n, f) == n;
}

}  // namespace ravolin
