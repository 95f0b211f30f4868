// One owner for every Win32 handle the program opens. Handle kinds differ in
// two ways only: the value that means "no handle" (CreateFileA and
// FindFirstFileA give INVALID_HANDLE_VALUE, _beginthreadex gives 0) and the
// call that closes one (CloseHandle, or FindClose for a search). A device
// context is not a handle of that kind (its release needs its window): it
// has an owner of its own below.
#pragma once
#include <windows.h>

namespace ravolin {

template <typename Kind>
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE h) : h_(h) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() { close(); }

    HANDLE get() const { return h_; }
    bool valid() const { return h_ != Kind::none(); }
    void reset(HANDLE h = Kind::none()) {
        close();
        h_ = h;
    }
    // False when the close failed (some file systems report lost writes here).
    bool close() {
        const HANDLE h = h_;
        h_ = Kind::none();
        return h == Kind::none() || Kind::close(h);
    }

private:
    HANDLE h_ = Kind::none();
};

struct FileHandleKind {
    static HANDLE none() { return INVALID_HANDLE_VALUE; }
    static bool close(HANDLE h) { return CloseHandle(h) != 0; }
};
// Handles that are 0 when there are none: threads, processes.
struct NullHandleKind {
    static HANDLE none() { return nullptr; }
    static bool close(HANDLE h) { return CloseHandle(h) != 0; }
};
struct FindHandleKind {
    static HANDLE none() { return INVALID_HANDLE_VALUE; }
    static bool close(HANDLE h) { return FindClose(h) != 0; }
};

using FileHandle = OwnedHandle<FileHandleKind>;      // CreateFileA / CreateFileW
using ThreadHandle = OwnedHandle<NullHandleKind>;    // _beginthreadex
using ProcessHandle = OwnedHandle<NullHandleKind>;   // OpenProcess
using FindHandle = OwnedHandle<FindHandleKind>;      // FindFirstFileA

// A window's device context from GetDC, released when the scope ends.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

}  // namespace ravolin
