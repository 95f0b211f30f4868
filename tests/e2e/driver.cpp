// End-to-end driver: works Ravolin's real main window from another process,
// the way a user would (button clicks posted as commands, typed characters,
// answers to the question boxes, the open-file dialog), and checks what the
// window shows. Prints one "PASS what" or "FAIL what -- detail" line per check
// and exits with the number of failures (capped at 100).
//
//   driver first  CTL WORKDIR   fresh start in Japanese: every control, both
//                               languages, default size, a run, Exit No, the
//                               file dialog, an English run, Abort, close box
//   driver second CTL WORKDIR   restart: restored texts, language, rectangle;
//                               then Exit Yes
//   driver third  CTL WORKDIR   close box during a long run
//   driver english-locale CTL WORKDIR   English labels under code page 1252
//
// CTL is a folder shared with run.sh: a screenshot is asked for by writing
// CTL\snap.req ("name left top width height") and is done when run.sh has
// removed it. WORKDIR is the folder Ravolin was started in; it holds the
// fixture folders that run.sh made (see run.sh).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/version.h"
#include "form/layout_math.h"

namespace {

using ravolin::Cell;
using ravolin::PixelRect;

int g_pass = 0;
int g_fail = 0;
double g_slow = 1.0;  // timeout scale: the 32-bit build runs emulated
int g_big_files = 40;  // files of the long run (run.sh makes them)

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

void check(bool ok, const std::string& what, const std::string& detail = "") {
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

// Polls cond every 50 ms until it holds or the (scaled) time is up.
template <class F>
bool wait_for(F cond, double seconds) {
    const DWORD limit = static_cast<DWORD>(seconds * g_slow * 1000);
    const DWORD start = GetTickCount();
    for (;;) {
        if (cond()) return true;
        if (GetTickCount() - start > limit) return false;
        Sleep(50);
    }
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

bool file_bytes(const std::string& path, std::string* out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    out->clear();
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
    std::fclose(f);
    return true;
}

bool file_exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// ------------------------------------------------------------ the window

struct Labels {
    const wchar_t* row[50];
    const wchar_t* really_exit;
    const wchar_t* really_abort;
};

Labels japanese() {
    Labels l{};
    l.row[0] = L"空白をタブに変換";
    l.row[1] = L"English";
    l.row[2] = L"#";
    l.row[3] = L"入力ファイル名(*, ? 指定可)";
    l.row[21] = L"実行";
    l.row[22] = L"終了";
    l.row[23] = L"処理停止";
    l.row[39] = L"結果";
    l.row[40] = L"タブサイズ";
    l.really_exit = L"本当に終了しますか？";
    l.really_abort = L"本当に処理停止しますか？";
    return l;
}

Labels english() {
    Labels l{};
    l.row[0] = L"Converting Spaces to Tab";
    l.row[1] = L"Japanese";
    l.row[2] = L"#";
    l.row[3] = L"Input Files(*, ? allowed)";
    l.row[21] = L"Execute";
    l.row[22] = L"Exit";
    l.row[23] = L"Abort";
    l.row[39] = L"Result";
    l.row[40] = L"Tab size";
    l.really_exit = L"Really exit?";
    l.really_abort = L"Really abort?";
    return l;
}

const int kLabelled[] = {0, 1, 2, 3, 21, 22, 23, 39, 40};

// Control rows and their classes.
struct ControlRow {
    int row;
    const char* cls;
    int left, top, right, bottom;  // tenths of a cell
};
const ControlRow kControls[] = {
    // row  class      left top right bottom
    {0,   "Static",  10,  6,  400, 16},
    {1,   "Button",  410, 5,  500, 17},
    {2,   "Button",  505, 5,  520, 17},
    {3,   "Button",  10,  20, 210, 32},
    {11,  "Edit",    100, 65, 120, 77},
    {21,  "Button",  220, 80, 280, 92},
    {22,  "Button",  320, 80, 380, 92},
    {23,  "Button",  420, 80, 480, 92},
    {25,  "Edit",    10,  110, 510, 190},
    {39,  "Static",  10,  95, 120, 107},
    {40,  "Static",  10,  65, 90,  77},
};

const char kCaption[] = "Ravolin : " RAVOLIN_VERSION " (C) the Ravolin developers";

// Folder of the long run; with a work folder of fewer than 40 characters its
// closing backslash is the one break point of the displayed file pattern.
const char kLongFolder[] = "a-folder-name-long-enough-to-wrap-the-display";

HWND g_main = nullptr;
DWORD g_thread = 0;
std::string g_ctl;
std::string g_work;

HWND item(int row) { return GetDlgItem(g_main, row); }
bool enabled(int row) { return IsWindowEnabled(item(row)) != FALSE; }

void click(int row) {
    PostMessageA(g_main, WM_COMMAND, MAKEWPARAM(row, BN_CLICKED),
                 reinterpret_cast<LPARAM>(item(row)));
}

// Characters typed into a control, replacing its text.
void type_into(HWND w, const wchar_t* text) {
    SendMessageW(w, EM_SETSEL, 0, -1);
    PostMessageW(w, WM_CHAR, VK_BACK, 0);
    for (const wchar_t* p = text; *p; ++p) PostMessageW(w, WM_CHAR, *p, 0);
}

std::string result_text() { return narrow(text_of(item(25))); }

bool idle_state() {
    return enabled(3) && enabled(11) && enabled(21) && enabled(22) && !enabled(23);
}
bool running_state() {
    return !enabled(3) && !enabled(11) && !enabled(21) && !enabled(22) && enabled(23);
}

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

// ------------------------------------------------------------ dialogs

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

HWND owned_dialog() {
    Finder f{g_main, nullptr};
    EnumThreadWindows(g_thread, find_owned_dialog, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

HWND wait_dialog(double seconds) {
    HWND d = nullptr;
    wait_for([&] { return (d = owned_dialog()) != nullptr; }, seconds);
    return d;
}

bool wait_dialog_gone(HWND d) {
    return wait_for([&] { return !IsWindow(d) || !IsWindowVisible(d); }, 20);
}

void press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Asks a question with the given button, checks the box, answers it.
void answer_question(int row, const wchar_t* want_text, const char* want_caption, int answer,
                     const std::string& what) {
    click(row);
    HWND box = wait_dialog(20);
    check(box != nullptr, what + ": question box appears");
    if (box == nullptr) return;
    std::wstring text = text_of(GetDlgItem(box, 0xFFFF));
    check(text == want_text, what + ": question text", narrow(text));
    std::wstring cap = text_of(box);
    check(narrow(cap) == want_caption, what + ": question caption", narrow(cap));
    press(box, answer);
    check(wait_dialog_gone(box), what + ": question box closes");
}

// Fills the open-file dialog's name field and presses Open, or cancels it.
bool drive_file_dialog(const std::string& name, bool cancel, const std::string& what) {
    click(3);
    HWND d = wait_dialog(30);
    check(d != nullptr, what + ": open-file dialog appears");
    if (d == nullptr) {
        note("result box after the command: \"" + result_text() + "\"");
        return false;
    }
    // The name field: a combo box (explorer style, cmb13) or an edit (edt1).
    // Waiting for it also lets a slow dialog finish its set-up before it is
    // answered.
    HWND field = nullptr;
    wait_for([&] {
        field = GetDlgItem(d, 0x47C);
        if (field == nullptr) field = GetDlgItem(d, 0x480);
        return field != nullptr && IsWindowVisible(field);
    }, 30);
    check(field != nullptr, what + ": dialog has a file name field");
    if (cancel) {
        press(d, IDCANCEL);
    } else {
        if (field == nullptr) {
            press(d, IDCANCEL);
            return false;
        }
        std::wstring wname(name.begin(), name.end());
        SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wname.c_str()));
        press(d, IDOK);
    }
    bool gone = wait_dialog_gone(d);
    check(gone, what + ": dialog closes");
    if (!gone) press(d, IDCANCEL);
    return gone;
}

// ------------------------------------------------------------ checks

Cell expected_cell() {
    HDC dc = GetDC(nullptr);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    ReleaseDC(nullptr, dc);
    return ravolin::cell_from_metrics(tm.tmAveCharWidth, tm.tmPitchAndFamily, tm.tmHeight,
                                      tm.tmExternalLeading);
}

bool find_main(double seconds) {
    wait_for([] { return (g_main = FindWindowA("Ravolin", nullptr)) != nullptr; }, seconds);
    check(g_main != nullptr, "main window of class \"Ravolin\" found");
    if (g_main == nullptr) return false;
    g_thread = GetWindowThreadProcessId(g_main, nullptr);
    wait_for([] { return IsWindowVisible(g_main) != FALSE; }, 20);
    return true;
}

void check_caption_and_style() {
    char cap[256] = "";
    GetWindowTextA(g_main, cap, sizeof cap);
    check(std::strcmp(cap, kCaption) == 0, "caption", cap);
    // The scroll bars come and go with the client size (they vanish while
    // the whole form is visible); the frame is always there.
    LONG style = GetWindowLongA(g_main, GWL_STYLE);
    check((style & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW, "overlapped window style");
    check(IsWindowVisible(g_main) != FALSE, "main window visible");
}

void check_controls(Cell cell) {
    std::string missing, extra, wrong_class, wrong_rect;
    std::vector<bool> is_control(50, false);
    for (const ControlRow& c : kControls) {
        is_control[c.row] = true;
        HWND w = item(c.row);
        if (w == nullptr) {
            missing += " " + std::to_string(c.row);
            continue;
        }
        if (class_of(w) != c.cls && _stricmp(class_of(w).c_str(), c.cls) != 0)
            wrong_class += " " + std::to_string(c.row) + "=" + class_of(w);
        RECT r;
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, g_main, reinterpret_cast<POINT*>(&r), 2);
        PixelRect want = ravolin::item_rect(c.left, c.top, c.right, c.bottom, cell, {0, 0});
        if (r.left != want.left || r.top != want.top || r.right != want.right ||
            r.bottom != want.bottom) {
            char buf[160];
            std::snprintf(buf, sizeof buf, " row %d at %ld,%ld,%ld,%ld want %d,%d,%d,%d", c.row,
                          r.left, r.top, r.right, r.bottom, want.left, want.top, want.right,
                          want.bottom);
            wrong_rect += buf;
        }
    }
    for (int row = 0; row < 50; ++row)
        if (!is_control[row] && item(row) != nullptr) extra += " " + std::to_string(row);
    check(missing.empty(), "a control for each of rows 0 1 2 3 11 21 22 23 25 39 40", "missing" + missing);
    check(extra.empty(), "no control for any other row", "extra" + extra);
    check(wrong_class.empty(), "control classes by row", wrong_class);
    char cellbuf[64];
    std::snprintf(cellbuf, sizeof cellbuf, "cell %dx%d", cell.width, cell.height);
    note(cellbuf);
    check(wrong_rect.empty(), "control rectangles follow the form in tenths of a cell", wrong_rect);
}

RECT client_rect_of(int row) {
    RECT r{};
    GetWindowRect(item(row), &r);
    MapWindowPoints(nullptr, g_main, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string rect_text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

// Scrolls a window too small for the form and watches the controls move by
// whole cells; growing it back pulls the form back to the origin.
void check_scrolling(Cell cell) {
    const RECT base = client_rect_of(3);
    SetWindowPos(g_main, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    wait_for([&] { GetClientRect(g_main, &client); return client.bottom < 200; }, 10);
    const int rows = client.bottom / cell.height;
    const int cols = client.right / cell.width;
    note("small window: " + std::to_string(cols) + " columns, " + std::to_string(rows) + " rows visible");
    auto moved_to = [&](int dcol, int drow) {
        RECT want = base;
        OffsetRect(&want, dcol * cell.width, drow * cell.height);
        RECT got{};
        bool ok = wait_for([&] { got = client_rect_of(3); return EqualRect(&got, &want) != FALSE; }, 10);
        return std::make_pair(ok, rect_text(got) + " want " + rect_text(want));
    };
    PostMessageA(g_main, WM_VSCROLL, SB_LINEDOWN, 0);
    auto r = moved_to(0, -1);
    check(r.first, "line down moves the form up one cell", r.second);
    PostMessageA(g_main, WM_HSCROLL, SB_LINERIGHT, 0);
    r = moved_to(-1, -1);
    check(r.first, "line right moves the form left one cell", r.second);
    PostMessageA(g_main, WM_VSCROLL, SB_BOTTOM, 0);
    // Range 0..20 with a page of `rows`: the bar stops at 21 - rows.
    r = moved_to(-1, -(21 - rows));
    check(r.first, "bottom scrolls to row " + std::to_string(21 - rows), r.second);
    PostMessageA(g_main, WM_VSCROLL, SB_LINEUP, 0);
    r = moved_to(-1, -(20 - rows));
    check(r.first, "line up moves the form down one cell", r.second);
    PostMessageA(g_main, WM_HSCROLL, SB_LEFT, 0);
    r = moved_to(0, -(20 - rows));
    check(r.first, "left end scrolls back to column 0", r.second);
    // The default size shows the whole form height: pulled back to row 0.
    click(2);
    r = moved_to(0, 0);
    check(r.first, "growing the window pulls the form back to the origin", r.second);
}

void check_labels(const Labels& l, const std::string& lang) {
    for (int row : kLabelled) {
        std::wstring t = text_of(item(row));
        check(t == l.row[row], lang + " label of row " + std::to_string(row), narrow(t));
    }
}

void check_states(bool running, const std::string& what) {
    std::string detail;
    for (int row : {3, 11, 21, 22, 23})
        detail += std::to_string(row) + (enabled(row) ? "=on " : "=off ");
    for (int row : {1, 2, 25})
        if (!enabled(row)) detail += " row " + std::to_string(row) + " disabled!";
    const bool ok = (running ? running_state() : idle_state()) && enabled(1) && enabled(2) &&
                    enabled(25);
    check(ok, what, detail);
}


// Lines of a report after its first, sorted so search order does not matter.
std::string sorted_tail(const std::string& s) {
    std::vector<std::string> lines;
    size_t p = s.find("\r\n");
    if (p == std::string::npos) return "";
    p += 2;
    while (p < s.size()) {
        size_t e = s.find("\r\n", p);
        if (e == std::string::npos) e = s.size();
        lines.push_back(s.substr(p, e - p));
        p = e + 2;
    }
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (auto& x : lines) out += x + "\n";
    return out;
}

// Runs Execute over the current file pattern and waits for the report.
bool run_to_end(const std::string& what, double seconds) {
    click(21);
    bool ended = wait_for([] { return idle_state() && !result_text().empty(); }, seconds);
    check(ended, what + ": run ends and the result box shows its report");
    return ended;
}

// One file after a run: converted (equal to expect\REF) or untouched (equal
// to orig\REF).
struct FileCase {
    std::string name;
    std::string ref;
};

// Checks each file of dir; when must_convert, untouched counts as wrong.
void check_files(const std::string& dir, const std::vector<FileCase>& files, bool must_convert,
                 const std::string& what, int* converted, int* untouched) {
    std::string bad;
    *converted = *untouched = 0;
    for (const FileCase& fc : files) {
        std::string got, conv, orig;
        if (!file_bytes(dir + "\\" + fc.name, &got)) {
            bad += " " + fc.name + "(missing)";
            continue;
        }
        file_bytes(g_work + "\\expect\\" + fc.ref, &conv);
        file_bytes(g_work + "\\orig\\" + fc.ref, &orig);
        if (got == conv) {
            ++*converted;
            if (!file_exists(dir + "\\" + fc.name + ".bak")) bad += " " + fc.name + "(no backup)";
        } else if (got == orig && !must_convert) {
            ++*untouched;
        } else {
            bad += " " + fc.name + (got == orig ? "(not converted)" : "(neither converted nor original)");
        }
    }
    check(bad.empty(), what, bad);
}

std::string ini_line(int n) {
    std::string all;
    if (!file_bytes(g_work + "\\Ravolin.ini", &all)) return "<no Ravolin.ini>";
    size_t p = 0;
    for (int i = 1; i < n; ++i) {
        p = all.find("\r\n", p);
        if (p == std::string::npos) return "<short file>";
        p += 2;
    }
    size_t e = all.find("\r\n", p);
    return all.substr(p, e == std::string::npos ? std::string::npos : e - p);
}

// ------------------------------------------------------------ sessions

void first_session() {
    if (!find_main(60)) return;
    check_caption_and_style();
    const Cell cell = expected_cell();
    check_controls(cell);

    // Fresh start: Japanese, tab size 4, empty result, idle.
    check_labels(japanese(), "Japanese");
    check(text_of(item(11)) == L"4", "tab size box starts with 4", narrow(text_of(item(11))));
    check(text_of(item(25)).empty(), "result box starts empty");
    check_states(false, "idle state: Abort disabled, the rest enabled");
    snapshot("ja-idle");

    // Language button: to English and back.
    click(1);
    wait_for([] { return text_of(item(21)) == L"Execute"; }, 10);
    check_labels(english(), "English");
    click(1);
    wait_for([] { return text_of(item(21)) == L"実行"; }, 10);
    check_labels(japanese(), "Japanese again");

    // Default size button.
    click(2);
    const ravolin::PixelSize want = ravolin::default_window_size(cell);
    RECT wr{};
    bool sized = wait_for([&] {
        GetWindowRect(g_main, &wr);
        return wr.right - wr.left == want.width && wr.bottom - wr.top == want.height;
    }, 10);
    check(sized, "default size button: window " + std::to_string(want.width) + "x" +
                     std::to_string(want.height),
          std::to_string(wr.right - wr.left) + "x" + std::to_string(wr.bottom - wr.top));
    check_scrolling(cell);

    // A run over the start folder: type a tab size, Execute, read the report.
    type_into(item(11), L"8");
    wait_for([] { return text_of(item(11)) == L"8"; }, 10);
    check(text_of(item(11)) == L"8", "tab size typed", narrow(text_of(item(11))));
    if (run_to_end("run over .\\*.c", 60)) {
        std::string r = result_text();
        const std::string summary =
            "Converted files = 2 (Total 4 tabs, 0 dots), Non conv. = 1, Refused = 0\r\n";
        check(r.compare(0, summary.size(), summary) == 0, "report summary line", visible(r));
        check(sorted_tail(r) == "Converted: a.c(3 tabs, 0 dots)\nConverted: b.c(1 tabs, 0 dots)\n"
                                "Non conv.: c.c\n",
              "report file lines", visible(r));
        int conv, same;
        check_files(g_work, {{"a.c", "a.c"}, {"b.c", "b.c"}, {"c.c", "c.c"}}, true, "files converted at tab size 8", &conv, &same);
        std::string notes, notes_orig;
        file_bytes(g_work + "\\notes.txt", &notes);
        file_bytes(g_work + "\\orig\\notes.txt", &notes_orig);
        check(notes == notes_orig && !file_exists(g_work + "\\notes.txt.bak"),
              "a file the pattern does not match is untouched");
    }
    snapshot("ja-after-run");

    // Exit, answered No: nothing changes.
    std::wstring before = text_of(item(25));
    answer_question(22, japanese().really_exit, "Exit", IDNO, "Exit No");
    check(IsWindow(g_main) && IsWindowVisible(g_main), "Exit No: window stays");
    check(text_of(item(25)) == before, "Exit No: result box keeps the report");

    // The file dialog, cancelled: the result box is emptied.
    drive_file_dialog("", true, "file dialog cancel");
    check(wait_for([] { return text_of(item(25)).empty(); }, 10), "file dialog cancel empties the result box");

    // English, and a run over a folder chosen with the dialog.
    click(1);
    wait_for([] { return text_of(item(21)) == L"Execute"; }, 10);
    check_labels(english(), "English");
    const std::string small2 = g_work + "\\en-folder\\*.c";
    drive_file_dialog(small2, false, "file dialog to en-folder");
    if (run_to_end("run over en-folder", 60)) {
        std::string r = result_text();
        const std::string summary =
            "Converted files = 1 (Total 3 tabs, 0 dots), Non conv. = 0, Refused = 0\r\n";
        check(r == summary + "Converted: d.c(3 tabs, 0 dots)\r\n", "English run report", visible(r));
        int conv, same;
        check_files(g_work + "\\en-folder", {{"d.c", "d.c"}}, true, "en-folder file converted", &conv, &same);
    }
    snapshot("en-after-run");

    // A long run, Abort answered No (the run goes on), then Yes.
    std::vector<FileCase> big;
    for (int i = 0; i < g_big_files; ++i) big.push_back({"big" + std::to_string(i) + ".c", "big.c"});
    const std::string big_spec = g_work + "\\" + kLongFolder + "\\*.c";
    drive_file_dialog(big_spec, false, "file dialog to the long-run folder");
    click(21);
    bool running = wait_for([] { return running_state(); }, 20);
    check_states(true, "running state: Input Files, tab size, Execute, Exit disabled; Abort enabled");
    if (running) {
        answer_question(23, english().really_abort, "Abort", IDNO, "Abort No");
        check(running_state(), "Abort No: the run goes on");
        check(text_of(item(25)).empty(), "Abort No: result box emptied");
        answer_question(23, english().really_abort, "Abort", IDYES, "Abort Yes");
        bool idle = wait_for([] { return idle_state(); }, 20);
        check_states(false, "Abort Yes: idle state again");
        (void)idle;
        Sleep(static_cast<DWORD>(500 * g_slow));  // a stale end of run must not refill the box
        check(text_of(item(25)).empty(), "Abort Yes: result box empty");
        int conv = 0, same = 0;
        check_files(g_work + "\\" + kLongFolder, big, false,
                    "after Abort every file is converted or identical to its original", &conv, &same);
        note("after Abort: " + std::to_string(conv) + " converted, " + std::to_string(same) +
             " untouched");
        check(same > 0, "Abort stopped the run before its end");
    }

    // Leave a text in the result box to see it restored at the next start.
    type_into(item(25), L"kept across restarts");
    wait_for([] { return text_of(item(25)) == L"kept across restarts"; }, 10);

    // Close by the close box (the system menu's Close).
    RECT r;
    GetWindowRect(g_main, &r);
    char rect[80];
    std::snprintf(rect, sizeof rect, "%ld %ld %ld %ld", r.left, r.top, r.right, r.bottom);
    note(std::string("window rectangle at close: ") + rect);
    PostMessageA(g_main, WM_SYSCOMMAND, SC_CLOSE, 0);
    check(wait_for([] { return !IsWindow(g_main); }, 30), "close box closes the window");
    FILE* f = std::fopen((g_ctl + "\\rect.txt").c_str(), "w");
    if (f) {
        std::fprintf(f, "%s\n", rect);
        std::fclose(f);
    }
}

void second_session() {
    if (!find_main(60)) return;
    char rect_at_close[80] = "";
    FILE* f = std::fopen((g_ctl + "\\rect.txt").c_str(), "r");
    if (f) {
        if (!std::fgets(rect_at_close, sizeof rect_at_close, f)) rect_at_close[0] = 0;
        std::fclose(f);
    }
    rect_at_close[std::strcspn(rect_at_close, "\r\n")] = 0;
    RECT r;
    GetWindowRect(g_main, &r);
    char rect[80];
    std::snprintf(rect, sizeof rect, "%ld %ld %ld %ld", r.left, r.top, r.right, r.bottom);
    check(std::strcmp(rect, rect_at_close) == 0, "window restored to the rectangle it closed with",
          std::string(rect) + " vs " + rect_at_close);
    check_labels(english(), "restored English");
    check(text_of(item(11)) == L"8", "tab size text restored", narrow(text_of(item(11))));
    check(text_of(item(25)) == L"kept across restarts", "result text restored",
          narrow(text_of(item(25))));
    check_states(false, "restart in the idle state");

    // What the close wrote (settings file lines: 2 language, 3-6 rectangle,
    // 23 slot 0, 24 run log, 25 displayed file pattern, 26 file pattern,
    // 33 tab size text; LF is stored as 0x07, CR as 0x0B).
    check(ini_line(1) == "20" && ini_line(22) == "21" && ini_line(43) == "9",
          "Ravolin.ini layout: counts 20 and 21, last line 9");
    check(ini_line(2) == "1", "Ravolin.ini: language English", ini_line(2));
    std::string saved_rect = ini_line(3) + " " + ini_line(4) + " " + ini_line(5) + " " + ini_line(6);
    check(saved_rect == rect_at_close, "Ravolin.ini: window rectangle", saved_rect);
    const std::string log = ini_line(24);
    const std::string tail = "aborted.\x07";
    check(log.size() >= tail.size() && log.compare(log.size() - tail.size(), tail.size(), tail) == 0,
          "Ravolin.ini: run log ends in \"aborted.\\n\"", visible(log));
    const std::string pattern = g_work + "\\" + kLongFolder + "\\*.c";
    check(ini_line(26) == pattern, "Ravolin.ini: file pattern from the dialog", ini_line(26));
    const std::string display = g_work + "\\" + kLongFolder + "\\\x07     *.c";
    check(ini_line(25) == display, "Ravolin.ini: displayed file pattern wrapped after 40 characters",
          visible(ini_line(25)));
    check(ini_line(33) == "8", "Ravolin.ini: tab size text", ini_line(33));

    // Back to Japanese, then Exit answered Yes.
    click(1);
    wait_for([] { return text_of(item(21)) == L"実行"; }, 10);
    check_labels(japanese(), "Japanese after the switch");
    answer_question(22, japanese().really_exit, "Exit", IDYES, "Exit Yes");
}

// Closing by the close box while a run is under way: the run is stopped and
// waited for before the save, and no file is left half converted.
void third_session() {
    if (!find_main(60)) return;
    click(21);
    bool running = wait_for([] { return running_state(); }, 20);
    check(running, "a long run is under way");
    PostMessageA(g_main, WM_SYSCOMMAND, SC_CLOSE, 0);
    check(wait_for([] { return !IsWindow(g_main); }, 30), "close box during the run closes the window");
    std::vector<FileCase> big;
    for (int i = 0; i < g_big_files; ++i) big.push_back({"big" + std::to_string(i) + ".c", "big.c"});
    int conv = 0, same = 0;
    check_files(g_work + "\\" + kLongFolder, big, false,
                "after closing during a run every file is converted or identical to its original",
                &conv, &same);
    note("after closing during the run: " + std::to_string(conv) + " converted, " +
         std::to_string(same) + " untouched");
}

// Under an English locale (ANSI code page 1252): the English labels, a
// screenshot, and the close box.
void english_locale_session() {
    if (!find_main(60)) return;
    check_caption_and_style();
    check_controls(expected_cell());
    click(1);
    wait_for([] { return text_of(item(21)) == L"Execute"; }, 10);
    check_labels(english(), "English locale, English");
    check_states(false, "English locale: idle state");
    snapshot("en-locale-idle");
    click(2);
    if (run_to_end("English locale: run at tab size 4", 60)) {
        const std::string summary =
            "Converted files = 2 (Total 9 tabs, 0 dots), Non conv. = 1, Refused = 0\r\n";
        const std::string r = result_text();
        check(r.compare(0, summary.size(), summary) == 0, "English locale: report summary line",
              visible(r));
    }
    snapshot("en-locale-after-run");
    PostMessageA(g_main, WM_SYSCOMMAND, SC_CLOSE, 0);
    check(wait_for([] { return !IsWindow(g_main); }, 30), "English locale: close box closes the window");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: driver first|second CTL WORKDIR [SLOW [BIGFILES]]\n");
        return 100;
    }
    g_ctl = argv[2];
    g_work = argv[3];
    if (argc > 4) g_slow = std::atof(argv[4]) > 0 ? std::atof(argv[4]) : 1.0;
    if (argc > 5) g_big_files = std::atoi(argv[5]);
    std::string what = argv[1];
    if (what == "first") first_session();
    else if (what == "second") second_session();
    else if (what == "third") third_session();
    else if (what == "english-locale") english_locale_session();
    else {
        std::fprintf(stderr, "unknown session %s\n", what.c_str());
        return 100;
    }
    std::printf("driver %s: %d passed, %d failed\n", what.c_str(), g_pass, g_fail);
    return g_fail > 100 ? 100 : g_fail;
}
