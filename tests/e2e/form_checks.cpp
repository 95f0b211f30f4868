#include "form_checks.h"

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "base/version.h"
#include "window_driver.h"

namespace e2e {

using ravolin::Cell;
using ravolin::PixelRect;

const char kMainClass[] = "Ravolin";

namespace {

const char kCaption[] = "Ravolin : " RAVOLIN_VERSION " (C) the Ravolin developers";

// The labelled rows, {Japanese, English}, and the two questions.
struct Label {
    int row;
    const wchar_t* text[2];
};
const Label kLabels[] = {
    {kTitle,        {L"空白をタブに変換", L"Converting Spaces to Tab"}},
    {kLanguage,     {L"English", L"Japanese"}},
    {kDefaultSize,  {L"#", L"#"}},
    {kInputFiles,   {L"入力ファイル名(*, ? 指定可)", L"Input Files(*, ? allowed)"}},
    {kExecute,      {L"実行", L"Execute"}},
    {kExit,         {L"終了", L"Exit"}},
    {kAbort,        {L"処理停止", L"Abort"}},
    {kResultLabel,  {L"結果", L"Result"}},
    {kTabSizeLabel, {L"タブサイズ", L"Tab size"}},
};
const wchar_t* const kReallyExit[2] = {L"本当に終了しますか？", L"Really exit?"};
const wchar_t* const kReallyAbort[2] = {L"本当に処理停止しますか？", L"Really abort?"};
const wchar_t* const kNameTooLong[2] = {L"ファイル名が長すぎます。", L"The file name is too long."};

int index_of(Language language) { return language == Language::english ? 1 : 0; }

// Control rows, their classes and their rectangles in tenths of a cell.
struct ControlRow {
    int row;
    const char* cls;
    int left, top, right, bottom;
};
const ControlRow kControls[] = {
    // row           class     left top  right bottom
    {kTitle,         "Static", 10,  6,   400,  16},
    {kLanguage,      "Button", 410, 5,   500,  17},
    {kDefaultSize,   "Button", 505, 5,   520,  17},
    {kInputFiles,    "Button", 10,  20,  210,  32},
    {kTabSize,       "Edit",   100, 65,  120,  77},
    {kExecute,       "Button", 220, 80,  280,  92},
    {kExit,          "Button", 320, 80,  380,  92},
    {kAbort,         "Button", 420, 80,  480,  92},
    {kResult,        "Edit",   10,  110, 510,  190},
    {kResultLabel,   "Static", 10,  95,  120,  107},
    {kTabSizeLabel,  "Static", 10,  65,  90,   77},
};

// The controls a run disables; Abort is enabled only during a run.
const int kIdleOnly[] = {kInputFiles, kTabSize, kExecute, kExit};
// Controls enabled in both states.
const int kAlwaysOn[] = {kLanguage, kDefaultSize, kResult};

template <size_t N>
bool all_enabled(const int (&rows)[N], bool want) {
    for (int row : rows)
        if (enabled(row) != want) return false;
    return true;
}

}  // namespace

Cell expected_cell() {
    HDC dc = GetDC(nullptr);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    ReleaseDC(nullptr, dc);
    return ravolin::cell_from_metrics(tm.tmAveCharWidth, tm.tmPitchAndFamily, tm.tmHeight,
                                      tm.tmExternalLeading);
}

void check_caption_and_style() {
    char cap[256] = "";
    GetWindowTextA(main_window(), cap, sizeof cap);
    check(std::strcmp(cap, kCaption) == 0, "caption", cap);
    // The scroll bars come and go with the client size (they vanish while
    // the whole form is visible); the frame is always there.
    LONG style = GetWindowLongA(main_window(), GWL_STYLE);
    check((style & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW, "overlapped window style");
    check(IsWindowVisible(main_window()) != FALSE, "main window visible");
}

void check_controls(Cell cell) {
    std::string missing, extra, wrong_class, wrong_rect, rows;
    std::vector<bool> is_control(kFormRows, false);
    for (const ControlRow& c : kControls) {
        is_control[c.row] = true;
        rows += " " + std::to_string(c.row);
        HWND w = item(c.row);
        if (w == nullptr) {
            missing += " " + std::to_string(c.row);
            continue;
        }
        if (class_of(w) != c.cls && _stricmp(class_of(w).c_str(), c.cls) != 0)
            wrong_class += " " + std::to_string(c.row) + "=" + class_of(w);
        RECT r = rect_in_main(w);
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
    for (int row = 0; row < kFormRows; ++row)
        if (!is_control[row] && item(row) != nullptr) extra += " " + std::to_string(row);
    check(missing.empty(), "a control for each of rows" + rows, "missing" + missing);
    check(extra.empty(), "no control for any other row", "extra" + extra);
    check(wrong_class.empty(), "control classes by row", wrong_class);
    char cellbuf[64];
    std::snprintf(cellbuf, sizeof cellbuf, "cell %dx%d", cell.width, cell.height);
    note(cellbuf);
    check(wrong_rect.empty(), "control rectangles follow the form in tenths of a cell", wrong_rect);
}

// Scrolls a window too small for the form and watches a control move by
// whole cells; growing it back pulls the form back to the origin.
void check_scrolling(Cell cell) {
    HWND win = main_window();
    const RECT base = rect_in_main(item(kInputFiles));
    SetWindowPos(win, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    wait_for([&] { GetClientRect(win, &client); return client.bottom < 200; }, 10);
    const int rows = client.bottom / cell.height;
    const int cols = client.right / cell.width;
    note("small window: " + std::to_string(cols) + " columns, " + std::to_string(rows) + " rows visible");
    auto moved_to = [&](int dcol, int drow) {
        RECT want = base;
        OffsetRect(&want, dcol * cell.width, drow * cell.height);
        RECT got{};
        bool ok = wait_for([&] {
            got = rect_in_main(item(kInputFiles));
            return EqualRect(&got, &want) != FALSE;
        }, 10);
        return std::make_pair(ok, rect_text(got) + " want " + rect_text(want));
    };
    PostMessageA(win, WM_VSCROLL, SB_LINEDOWN, 0);
    auto r = moved_to(0, -1);
    check(r.first, "line down moves the form up one cell", r.second);
    PostMessageA(win, WM_HSCROLL, SB_LINERIGHT, 0);
    r = moved_to(-1, -1);
    check(r.first, "line right moves the form left one cell", r.second);
    PostMessageA(win, WM_VSCROLL, SB_BOTTOM, 0);
    // Range 0..20 with a page of `rows`: the bar stops at 21 - rows.
    r = moved_to(-1, -(21 - rows));
    check(r.first, "bottom scrolls to row " + std::to_string(21 - rows), r.second);
    PostMessageA(win, WM_VSCROLL, SB_LINEUP, 0);
    r = moved_to(-1, -(20 - rows));
    check(r.first, "line up moves the form down one cell", r.second);
    PostMessageA(win, WM_HSCROLL, SB_LEFT, 0);
    r = moved_to(0, -(20 - rows));
    check(r.first, "left end scrolls back to column 0", r.second);
    // The default size shows the whole form height: pulled back to row 0.
    click(kDefaultSize);
    r = moved_to(0, 0);
    check(r.first, "growing the window pulls the form back to the origin", r.second);
}

const wchar_t* label(Language language, int row) {
    for (const Label& l : kLabels)
        if (l.row == row) return l.text[index_of(language)];
    return nullptr;
}

const wchar_t* really_exit(Language language) { return kReallyExit[index_of(language)]; }
const wchar_t* really_abort(Language language) { return kReallyAbort[index_of(language)]; }
const wchar_t* name_too_long(Language language) { return kNameTooLong[index_of(language)]; }

void check_labels(Language language, const std::string& what) {
    for (const Label& l : kLabels) {
        std::wstring t = text_of(item(l.row));
        check(t == l.text[index_of(language)], what + " label of row " + std::to_string(l.row),
              narrow(t));
    }
}

bool idle_state() {
    return all_enabled(kIdleOnly, true) && !enabled(kAbort);
}

bool running_state() {
    return all_enabled(kIdleOnly, false) && enabled(kAbort);
}

void check_states(bool running, const std::string& what) {
    std::string detail;
    for (int row : kIdleOnly) detail += std::to_string(row) + (enabled(row) ? "=on " : "=off ");
    detail += std::to_string(kAbort) + (enabled(kAbort) ? "=on " : "=off ");
    for (int row : kAlwaysOn)
        if (!enabled(row)) detail += " row " + std::to_string(row) + " disabled!";
    const bool ok = (running ? running_state() : idle_state()) &&
                    all_enabled(kAlwaysOn, true);
    check(ok, what, detail);
}

std::string result_text() { return narrow(text_of(item(kResult))); }

bool run_to_end(const std::string& what, double seconds) {
    click(kExecute);
    bool ended = wait_for([] { return idle_state() && !result_text().empty(); }, seconds);
    check(ended, what + ": run ends and the result box shows its report");
    return ended;
}

}  // namespace e2e
