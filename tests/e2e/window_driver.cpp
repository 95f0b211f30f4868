#include "window_driver.h"

#include <cstdio>

namespace e2e {
namespace {

int g_pass = 0;
int g_fail = 0;
double g_slow = 1.0;
std::string g_ctl;
HWND g_main = nullptr;
DWORD g_thread = 0;

// Child ids inside the common dialogs.
constexpr int kMessageBoxText = 0xFFFF;  // a message box's static text
constexpr int kFileNameCombo = 0x47C;    // cmb13: the explorer-style name field
constexpr int kFileNameEdit = 0x480;     // edt1: the old-style name field

}  // namespace

void check(bool ok, const std::string& what, const std::string& detail) {
    if (ok) {
        ++g_pass;
        std::printf("PASS %s\n", what.c_str());
    } else {
        ++g_fail;
        std::printf("FAIL %s -- %s\n", what.c_str(), detail.c_str());
    }
    std::fflush(stdout);
}

void note(const std::string& text) {
    std::printf("     %s\n", text.c_str());
    std::fflush(stdout);
}

int passed() { return g_pass; }
int failed() { return g_fail; }

void set_slowness(double factor) { g_slow = factor > 0 ? factor : 1.0; }
double slowness() { return g_slow; }
void pause(double seconds) { Sleep(static_cast<DWORD>(seconds * 1000 * g_slow)); }

std::string narrow(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    s.resize(static_cast<size_t>(n) - 1);
    return s;
}

std::string visible(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == 0x07) out += "<07>";
        else if (c == 0x0B) out += "<0B>";
        else if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else out += static_cast<char>(c);
    }
    return out;
}

std::wstring wide(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], n);
    w.resize(static_cast<size_t>(n) - 1);
    return w;
}

bool file_bytes(const std::string& path, std::string* out) {
    FILE* f = _wfopen(wide(path).c_str(), L"rb");
    if (f == nullptr) return false;
    out->clear();
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
    std::fclose(f);
    return true;
}

bool file_exists(const std::string& path) {
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// ------------------------------------------------------------ the window

bool find_main(const char* window_class, double seconds) {
    wait_for([&] { return (g_main = FindWindowA(window_class, nullptr)) != nullptr; }, seconds);
    check(g_main != nullptr, std::string("main window of class \"") + window_class + "\" found");
    if (g_main == nullptr) return false;
    g_thread = GetWindowThreadProcessId(g_main, nullptr);
    wait_for([] { return IsWindowVisible(g_main) != FALSE; }, 20);
    return true;
}

HWND main_window() { return g_main; }
HWND item(int row) { return GetDlgItem(g_main, row); }
bool enabled(int row) { return IsWindowEnabled(item(row)) != FALSE; }

void click(int row) {
    PostMessageA(g_main, WM_COMMAND, MAKEWPARAM(row, BN_CLICKED),
                 reinterpret_cast<LPARAM>(item(row)));
}

void type_into(HWND w, const wchar_t* text) {
    SendMessageW(w, EM_SETSEL, 0, -1);
    PostMessageW(w, WM_CHAR, VK_BACK, 0);
    for (const wchar_t* p = text; *p; ++p) PostMessageW(w, WM_CHAR, *p, 0);
}

std::wstring text_of(HWND w) {
    if (w == nullptr) return L"<no window>";
    wchar_t buf[32768];
    buf[0] = 0;
    DWORD_PTR got = 0;
    SendMessageTimeoutW(w, WM_GETTEXT, 32768, reinterpret_cast<LPARAM>(buf), SMTO_NORMAL,
                        static_cast<UINT>(10000 * g_slow), &got);
    buf[32767] = 0;
    return buf;
}

std::string class_of(HWND w) {
    char buf[64] = "";
    GetClassNameA(w, buf, sizeof buf);
    return buf;
}

RECT rect_in_main(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    MapWindowPoints(nullptr, g_main, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string rect_text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

bool close_by_close_box(double seconds) {
    PostMessageA(g_main, WM_SYSCOMMAND, SC_CLOSE, 0);
    return wait_for([] { return !IsWindow(g_main); }, seconds);
}

// ------------------------------------------------------------ screenshots

void set_control_folder(const std::string& ctl) { g_ctl = ctl; }
const std::string& control_folder() { return g_ctl; }

void snapshot(const char* name) {
    RECT r;
    GetWindowRect(g_main, &r);
    std::string req = g_ctl + "\\snap.req";
    std::string tmp = req + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (f == nullptr) {
        check(false, std::string("screenshot ") + name, "cannot write " + tmp);
        return;
    }
    std::fprintf(f, "%s %ld %ld %ld %ld\n", name, r.left, r.top, r.right - r.left,
                 r.bottom - r.top);
    std::fclose(f);
    MoveFileA(tmp.c_str(), req.c_str());
    bool done = wait_for([&] { return !file_exists(req); }, 30);
    check(done, std::string("screenshot ") + name + " taken");
}

// ------------------------------------------------------------ drops

namespace {

// Writes CTL\NAME.req with text, then waits for run.sh to take it away.
bool ask_run_sh(const char* name, const std::string& text) {
    const std::string req = g_ctl + "\\" + name + ".req";
    const std::string tmp = req + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (f == nullptr) return false;
    std::fprintf(f, "%s\n", text.c_str());
    std::fclose(f);
    MoveFileA(tmp.c_str(), req.c_str());
    return wait_for([&] { return !file_exists(req); }, 30);
}

}  // namespace

bool drop_on_main(const std::string& paths) {
    RECT r;
    GetWindowRect(g_main, &r);
    const std::string rc_file = g_ctl + "\\drop.rc";
    DeleteFileA(rc_file.c_str());
    const std::string text = std::to_string((r.left + r.right) / 2) + " " +
                             std::to_string((r.top + r.bottom) / 2) + " " + paths;
    std::string rc;
    return ask_run_sh("drop", text) && file_bytes(rc_file, &rc) && rc.compare(0, 1, "0") == 0;
}

// ------------------------------------------------------------ dialogs

namespace {

struct Finder {
    HWND owner;
    HWND found;
};

BOOL CALLBACK find_owned_dialog(HWND w, LPARAM lp) {
    Finder* f = reinterpret_cast<Finder*>(lp);
    if (GetWindow(w, GW_OWNER) == f->owner && IsWindowVisible(w) && class_of(w) == "#32770") {
        f->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND owned_dialog(HWND owner) {
    Finder f{owner, nullptr};
    EnumThreadWindows(g_thread, find_owned_dialog, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

}  // namespace

HWND wait_dialog(double seconds) {
    HWND d = nullptr;
    wait_for([&] { return (d = owned_dialog(g_main)) != nullptr; }, seconds);
    return d;
}

HWND wait_dialog_of(HWND owner, double seconds) {
    HWND d = nullptr;
    wait_for([&] { return (d = owned_dialog(owner)) != nullptr; }, seconds);
    return d;
}

HWND file_name_field(HWND dialog) {
    HWND field = nullptr;
    wait_for([&] {
        field = GetDlgItem(dialog, kFileNameCombo);
        if (field == nullptr) field = GetDlgItem(dialog, kFileNameEdit);
        return field != nullptr && IsWindowVisible(field);
    }, 30);
    return field;
}

bool wait_dialog_gone(HWND dialog) {
    return wait_for([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 20);
}

void press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void answer_question(int row, const wchar_t* want_text, const char* want_caption, int answer,
                     const std::string& what) {
    click(row);
    HWND box = wait_dialog(20);
    check(box != nullptr, what + ": question box appears");
    if (box == nullptr) return;
    std::wstring text = text_of(GetDlgItem(box, kMessageBoxText));
    check(text == want_text, what + ": question text", narrow(text));
    std::wstring cap = text_of(box);
    check(narrow(cap) == want_caption, what + ": question caption", narrow(cap));
    press(box, answer);
    check(wait_dialog_gone(box), what + ": question box closes");
}

bool answer_file_dialog(HWND dialog, const std::string& name, bool cancel,
                        const std::string& what) {
    // Waiting for the name field also lets a slow dialog finish its set-up
    // before it is answered.
    HWND field = file_name_field(dialog);
    check(field != nullptr, what + ": dialog has a file name field");
    if (cancel) {
        press(dialog, IDCANCEL);
    } else {
        if (field == nullptr) {
            press(dialog, IDCANCEL);
            return false;
        }
        const std::wstring wname = wide(name);
        SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wname.c_str()));
        press(dialog, IDOK);
    }
    bool gone = wait_dialog_gone(dialog);
    check(gone, what + ": dialog closes");
    if (!gone) press(dialog, IDCANCEL);
    return gone;
}

}  // namespace e2e
