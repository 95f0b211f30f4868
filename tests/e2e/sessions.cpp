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
//   driver english-locale CTL WORKDIR   code page 1252: first start in
//                               English, Japanese labels and question right
//   driver placement CTL WORKDIR   started with a saved rectangle out of
//                               reach: the window is on the screen
//   driver report CTL WORKDIR   600 files, Abort after the end, Abort while
//                               groups wait for the disk (timed), a typed
//                               name too long for the dialog, closing
//                               during a run
//   driver report-restart CTL WORKDIR   the report so far restored; Exit
//                               during a run
//   driver names CTL WORKDIR    (either code page) an earlier version's
//                               Ravolin.ini; names outside the code page by
//                               the dialog and by a drop; a path past MAX_PATH
//   driver names-again CTL WORKDIR   restart: the pattern outside the code
//                               page came back
//   (each optionally followed by SLOW, the timeout scale, BIGFILES, the
//   number of files of the long run, and FLUSHFILES, of the flushing run)
//
// CTL is a folder shared with run.sh: a screenshot is asked for by writing
// CTL\snap.req ("name left top width height") and is done when run.sh has
// removed it. WORKDIR is the folder Ravolin was started in; it holds the
// fixture folders that run.sh made (see run.sh).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "form_checks.h"
#include "window_driver.h"

namespace e2e {
namespace {

std::string g_work;
int g_big_files = 40;  // files of the long run (run.sh makes them)
int g_flush_files = 300;  // files of the report session's flushing run

// Folder of the long run; with a work folder of fewer than 40 characters its
// closing backslash is the one break point of the displayed file pattern.
const char kLongFolder[] = "a-folder-name-long-enough-to-wrap-the-display";

// Lines of the settings file (from 1); LF is stored as 0x07, CR as 0x0B.
constexpr int kIniTextCount = 1;      // "20"
constexpr int kIniLanguage = 2;
constexpr int kIniLeft = 3;           // then top, right, bottom
constexpr int kIniSlotCount = 22;     // "21"
constexpr int kIniRunLog = 24;
constexpr int kIniShownPattern = 25;  // the file pattern as displayed
constexpr int kIniPattern = 26;
constexpr int kIniTabSize = 33;
constexpr int kIniLast = 43;          // "9"

// ------------------------------------------------------------ files

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

// One file after a run: converted (equal to expect\REF) or untouched (equal
// to orig\REF).
struct FileCase {
    std::string name;
    std::string ref;
};

std::vector<FileCase> big_files() {
    std::vector<FileCase> big;
    for (int i = 0; i < g_big_files; ++i) big.push_back({"big" + std::to_string(i) + ".c", "big.c"});
    return big;
}

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

std::string window_rect_text() {
    RECT r;
    GetWindowRect(main_window(), &r);
    char rect[80];
    std::snprintf(rect, sizeof rect, "%ld %ld %ld %ld", r.left, r.top, r.right, r.bottom);
    return rect;
}

// The number of the file a progress text "N / M files: NAME" names, when
// the text is one for a run over `total` files; 0 otherwise.
int progress_number(const std::wstring& text, int total) {
    int n = 0, m = 0, used = 0;
    if (std::swscanf(text.c_str(), L"%d / %d files: %n", &n, &m, &used) != 2 || used == 0) return 0;
    return m == total && n >= 1 && n <= total && text.size() > static_cast<size_t>(used) ? n : 0;
}

// ------------------------------------------------------------ steps

// Opens the file dialog with Input Files and cancels it or picks name.
bool drive_file_dialog(const std::string& name, bool cancel, const std::string& what) {
    click(kInputFiles);
    HWND d = wait_dialog(30);
    check(d != nullptr, what + ": open-file dialog appears");
    if (d == nullptr) {
        note("result box after the command: \"" + result_text() + "\"");
        return false;
    }
    return answer_file_dialog(d, name, cancel, what);
}

// Clicks the language button and waits for the labels of the other language.
void switch_language(Language to) {
    click(kLanguage);
    wait_for([&] { return text_of(item(kExecute)) == label(to, kExecute); }, 10);
}

// ------------------------------------------------------------ sessions

void first_session() {
    if (!find_main(kMainClass, 60)) return;
    check_caption_and_style();
    const ravolin::Cell cell = expected_cell();
    check_controls(cell);

    // Fresh start under a Japanese user interface: Japanese, tab size 4,
    // empty result, idle.
    check_labels(Language::japanese, "first start in Japanese:");
    check(text_of(item(kTabSize)) == L"4", "tab size box starts with 4", narrow(text_of(item(kTabSize))));
    check(text_of(item(kResult)).empty(), "result box starts empty");
    check_states(false, "idle state: Abort disabled, the rest enabled");
    snapshot("ja-idle");

    // Language button: to English and back.
    switch_language(Language::english);
    check_labels(Language::english, "English");
    switch_language(Language::japanese);
    check_labels(Language::japanese, "Japanese again");

    // Default size button.
    click(kDefaultSize);
    const ravolin::PixelSize want = ravolin::default_window_size(cell);
    RECT wr{};
    bool sized = wait_for([&] {
        GetWindowRect(main_window(), &wr);
        return wr.right - wr.left == want.width && wr.bottom - wr.top == want.height;
    }, 10);
    check(sized, "default size button: window " + std::to_string(want.width) + "x" +
                     std::to_string(want.height),
          std::to_string(wr.right - wr.left) + "x" + std::to_string(wr.bottom - wr.top));
    check_scrolling(cell);

    // A run over the start folder: type a tab size, Execute, read the report.
    type_into(item(kTabSize), L"8");
    wait_for([] { return text_of(item(kTabSize)) == L"8"; }, 10);
    check(text_of(item(kTabSize)) == L"8", "tab size typed", narrow(text_of(item(kTabSize))));
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
    std::wstring before = text_of(item(kResult));
    answer_question(kExit, really_exit(Language::japanese), "Exit", IDNO, "Exit No");
    check(IsWindow(main_window()) && IsWindowVisible(main_window()), "Exit No: window stays");
    check(text_of(item(kResult)) == before, "Exit No: result box keeps the report");

    // The file dialog, cancelled: the result box is emptied.
    drive_file_dialog("", true, "file dialog cancel");
    check(wait_for([] { return text_of(item(kResult)).empty(); }, 10), "file dialog cancel empties the result box");

    // English, and a run over a folder chosen with the dialog.
    switch_language(Language::english);
    check_labels(Language::english, "English");
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
    const std::string big_spec = g_work + "\\" + kLongFolder + "\\*.c";
    drive_file_dialog(big_spec, false, "file dialog to the long-run folder");
    click(kExecute);
    bool running = wait_for([] { return running_state(); }, 20);
    check_states(true, "running state: Input Files, tab size, Execute, Exit disabled; Abort enabled");
    if (running) {
        // The result box follows the run: "N / M files: NAME", N growing.
        std::wstring seen;
        const bool progress = wait_for([&] {
            seen = text_of(item(kResult));
            return progress_number(seen, g_big_files) >= 2;
        }, 30);
        check(progress, "progress \"N / " + std::to_string(g_big_files) +
                            " files: NAME\" in the result box, N growing", narrow(seen));
        snapshot("en-progress");
        answer_question(kAbort, really_abort(Language::english), "Abort", IDNO, "Abort No");
        check(running_state(), "Abort No: the run goes on");
        // Emptied by the answer, then filled again by the next file's progress.
        const std::wstring after = text_of(item(kResult));
        check(after.empty() || progress_number(after, g_big_files) > 0,
              "Abort No: result box emptied, or showing progress again", narrow(after));
        answer_question(kAbort, really_abort(Language::english), "Abort", IDYES, "Abort Yes");
        wait_for([] { return idle_state(); }, 20);
        check_states(false, "Abort Yes: idle state again");
        pause(0.5);  // a stale end of run must not refill the box
        check(text_of(item(kResult)).empty(), "Abort Yes: result box empty");
        int conv = 0, same = 0;
        check_files(g_work + "\\" + kLongFolder, big_files(), false,
                    "after Abort every file is converted or identical to its original", &conv, &same);
        note("after Abort: " + std::to_string(conv) + " converted, " + std::to_string(same) +
             " untouched");
        check(same > 0, "Abort stopped the run before its end");
    }

    // Leave a text in the result box to see it restored at the next start.
    type_into(item(kResult), L"kept across restarts");
    wait_for([] { return text_of(item(kResult)) == L"kept across restarts"; }, 10);

    // Close by the close box (the system menu's Close).
    const std::string rect = window_rect_text();
    note("window rectangle at close: " + rect);
    check(close_by_close_box(30), "close box closes the window");
    FILE* f = std::fopen((control_folder() + "\\rect.txt").c_str(), "w");
    if (f) {
        std::fprintf(f, "%s\n", rect.c_str());
        std::fclose(f);
    }
}

void second_session() {
    if (!find_main(kMainClass, 60)) return;
    char rect_at_close[80] = "";
    FILE* f = std::fopen((control_folder() + "\\rect.txt").c_str(), "r");
    if (f) {
        if (!std::fgets(rect_at_close, sizeof rect_at_close, f)) rect_at_close[0] = 0;
        std::fclose(f);
    }
    rect_at_close[std::strcspn(rect_at_close, "\r\n")] = 0;
    const std::string rect = window_rect_text();
    check(rect == rect_at_close, "window restored to the rectangle it closed with",
          rect + " vs " + rect_at_close);
    check_labels(Language::english, "restored English");
    check(text_of(item(kTabSize)) == L"8", "tab size text restored", narrow(text_of(item(kTabSize))));
    check(text_of(item(kResult)) == L"kept across restarts", "result text restored",
          narrow(text_of(item(kResult))));
    check_states(false, "restart in the idle state");

    // What the close wrote.
    check(ini_line(kIniTextCount) == "20" && ini_line(kIniSlotCount) == "21" && ini_line(kIniLast) == "9",
          "Ravolin.ini layout: counts 20 and 21, last line 9");
    check(ini_line(kIniLanguage) == "1", "Ravolin.ini: language English", ini_line(kIniLanguage));
    std::string saved_rect = ini_line(kIniLeft) + " " + ini_line(kIniLeft + 1) + " " +
                             ini_line(kIniLeft + 2) + " " + ini_line(kIniLeft + 3);
    check(saved_rect == rect_at_close, "Ravolin.ini: window rectangle", saved_rect);
    const std::string log = ini_line(kIniRunLog);
    const std::string tail = "aborted.\x07";
    check(log.size() >= tail.size() && log.compare(log.size() - tail.size(), tail.size(), tail) == 0,
          "Ravolin.ini: run log ends in \"aborted.\\n\"", visible(log));
    const std::string pattern = g_work + "\\" + kLongFolder + "\\*.c";
    check(ini_line(kIniPattern) == pattern, "Ravolin.ini: file pattern from the dialog", ini_line(kIniPattern));
    const std::string display = g_work + "\\" + kLongFolder + "\\\x07     *.c";
    check(ini_line(kIniShownPattern) == display, "Ravolin.ini: displayed file pattern wrapped after 40 characters",
          visible(ini_line(kIniShownPattern)));
    check(ini_line(kIniTabSize) == "8", "Ravolin.ini: tab size text", ini_line(kIniTabSize));

    // Back to Japanese, then Exit answered Yes.
    switch_language(Language::japanese);
    check_labels(Language::japanese, "Japanese after the switch");
    answer_question(kExit, really_exit(Language::japanese), "Exit", IDYES, "Exit Yes");
}

// Closing by the close box while a run is under way: the run is stopped and
// waited for before the save, and no file is left half converted.
void third_session() {
    if (!find_main(kMainClass, 60)) return;
    click(kExecute);
    bool running = wait_for([] { return running_state(); }, 20);
    check(running, "a long run is under way");
    check(close_by_close_box(30), "close box during the run closes the window");
    int conv = 0, same = 0;
    check_files(g_work + "\\" + kLongFolder, big_files(), false,
                "after closing during a run every file is converted or identical to its original",
                &conv, &same);
    note("after closing during the run: " + std::to_string(conv) + " converted, " +
         std::to_string(same) + " untouched");
}

// ---- the report session: what the window says must be true.

// Folders run.sh makes in the report session's work folder.
const char kManyFolder[] = "many";        // 600 small files
const char kEndedFolder[] = "ended";      // a run of a few seconds
const char kFlushFolder[] = "flushing";   // many files of 300 KB: groups wait for the disk

// The report's lines, without their CR LF.
std::vector<std::string> report_lines(const std::string& r) {
    std::vector<std::string> lines;
    for (size_t p = 0; p < r.size();) {
        size_t e = r.find("\r\n", p);
        if (e == std::string::npos) e = r.size();
        lines.push_back(r.substr(p, e - p));
        p = e + 2;
    }
    return lines;
}

std::string folder_spec(const char* folder) { return g_work + "\\" + folder + "\\*.c"; }

// The flushing folder's files, each converted (with its backup) or as it was
// (without one), and none of the run's temporary files left.
void check_flush_folder(const std::string& what) {
    const std::string dir = g_work + "\\" + kFlushFolder;
    std::string bad;
    int conv = 0, same = 0;
    std::string orig, expect;
    file_bytes(g_work + "\\orig\\flush.c", &orig);
    file_bytes(g_work + "\\expect\\flush.c", &expect);
    for (int i = 0; i < g_flush_files; ++i) {
        const std::string name = "f" + std::to_string(i) + ".c";
        std::string got;
        file_bytes(dir + "\\" + name, &got);
        const bool backup = file_exists(dir + "\\" + name + ".bak");
        if (got == expect && backup) ++conv;
        else if (got == orig && !backup) ++same;
        else bad += " " + name + (got == orig ? "(as it was, with a backup)" : got == expect ? "(no backup)" : "(neither)");
    }
    // A flush the run no longer waited for may still hold a file it removed;
    // the name goes when that handle closes (Wine keeps it until then).
    std::string left;
    wait_for([&] {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((dir + "\\.ravolin-*.tmp").c_str(), &fd);
        left = h == INVALID_HANDLE_VALUE ? "" : fd.cFileName;
        if (h != INVALID_HANDLE_VALUE) FindClose(h);
        return left.empty();
    }, 10);
    if (!left.empty()) bad += " temporary file left: " + left;
    check(bad.empty(), what + ": every file converted with its backup or as it was without one, no temporary file", bad);
    note(what + ": " + std::to_string(conv) + " converted, " + std::to_string(same) + " as they were");
}

// Starts a run over the flushing folder and waits until it is past its
// first groups, so that one is waiting for the disk.
bool start_flushing_run(const std::string& what) {
    click(kExecute);
    std::wstring seen;
    const bool going = wait_for([&] {
        seen = text_of(item(kResult));
        return progress_number(seen, g_flush_files) >= 40;
    }, 60);
    check(going, what + ": run under way past its first groups", narrow(seen));
    return going;
}

// A typed name of 300 characters in the file dialog: refused with a message,
// and the program goes on.
void long_name_refused(Language language, const std::string& what) {
    click(kInputFiles);
    HWND d = wait_dialog(30);
    check(d != nullptr, what + ": open-file dialog appears");
    if (d == nullptr) return;
    HWND field = file_name_field(d);
    const std::wstring name = std::wstring(296, L'n') + L".c";
    if (field) SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
    press(d, IDOK);
    HWND box = wait_dialog_of(d, 20);
    check(box != nullptr, what + ": a message says so");
    if (box) {
        const std::wstring text = text_of(GetDlgItem(box, 0xFFFF));
        check(text == name_too_long(language), what + ": message text", narrow(text));
        snapshot(language == Language::japanese ? "ja-name-too-long" : "en-name-too-long");
        press(box, IDOK);
        wait_dialog_gone(box);
    }
    check(IsWindow(d) && IsWindowVisible(d), what + ": the dialog stays open for another name");
    answer_file_dialog(d, "", true, what);
    check(IsWindow(main_window()), what + ": the program goes on");
}

// Japanese (the first language under a Japanese user interface).
void report_session() {
    if (!find_main(kMainClass, 60)) return;

    // 600 matching files: 500 taken, and the report says so.
    drive_file_dialog(folder_spec(kManyFolder), false, "file dialog to 600 files");
    if (run_to_end("run over 600 files", 180)) {
        const std::string r = result_text();
        const std::vector<std::string> lines = report_lines(r);
        check(r.rfind("Converted files = 500 (", 0) == 0, "600 files: summary counts 500", visible(r.substr(0, 200)));
        check(lines.size() > 1 && lines[1] == "Left out  : 100 more files (a window run takes 500; ravolin-cli has no such limit)",
              "600 files: the report says 100 were left out", lines.size() > 1 ? lines[1] : "");
        check(r.size() >= 2 && r.compare(r.size() - 2, 2, "\r\n") == 0, "600 files: the report ends at a line end",
              visible(r.substr(r.size() > 80 ? r.size() - 80 : 0)));
        check(lines.size() == 502 || (!lines.empty() && lines.back() == "(log truncated)"),
              "600 files: a line for each of the 500 files in the box", std::to_string(lines.size()) + " lines");
        snapshot("ja-600-files");
    }

    // Abort asked during a run that ends before the answer: Yes then
    // changes nothing.
    drive_file_dialog(folder_spec(kEndedFolder), false, "file dialog to the short run");
    click(kExecute);
    check(wait_for([] { return running_state(); }, 20), "short run under way");
    click(kAbort);
    HWND q = wait_dialog(20);
    check(q != nullptr, "Abort after the end: question box appears");
    const bool ended = wait_for([] { return idle_state(); }, 120);
    check(ended, "Abort after the end: the run ends while the question is shown");
    if (q) {
        press(q, IDYES);
        wait_dialog_gone(q);
    }
    pause(0.5);
    const std::string after = result_text();
    check(after.rfind("Converted files = 60 (", 0) == 0, "Abort after the end: the report stays in the box",
          visible(after.substr(0, 120)));
    check(idle_state(), "Abort after the end: idle");
    snapshot("ja-abort-after-end");

    // Abort while groups wait for the disk: idle again at once.
    drive_file_dialog(folder_spec(kFlushFolder), false, "file dialog to the flushing run");
    if (start_flushing_run("Abort while flushing")) {
        click(kAbort);
        HWND box = wait_dialog(20);
        check(box != nullptr, "Abort while flushing: question box appears");
        if (box) {
            LARGE_INTEGER f, t0, t1;
            QueryPerformanceFrequency(&f);
            press(box, IDYES);
            QueryPerformanceCounter(&t0);
            bool idle = false;
            for (int i = 0; i < 4000 && !(idle = idle_state()); ++i) Sleep(2);
            QueryPerformanceCounter(&t1);
            const double ms = 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(f.QuadPart);
            char text[64];
            std::snprintf(text, sizeof text, "%.0f ms", ms);
            note(std::string("Abort while flushing: idle ") + text + " after Yes");
            check(idle && ms < 300 * slowness(), "Abort while flushing: idle within 0.3 s of Yes", text);
        }
        check_flush_folder("after Abort while flushing");
    }

    // A typed name the dialog cannot take, in both languages.
    long_name_refused(Language::japanese, "Japanese: a typed name of 300 characters");
    switch_language(Language::english);
    long_name_refused(Language::english, "English: a typed name of 300 characters");
    switch_language(Language::japanese);

    // Closing during a run: the window goes at once, and what is saved is
    // the report so far (checked after the restart).
    if (start_flushing_run("close during a run")) {
        const DWORD t0 = GetTickCount();
        const bool gone = close_by_close_box(30);
        const DWORD ms = GetTickCount() - t0;
        note("close during a run: window gone " + std::to_string(ms) + " ms after the close");
        check(gone, "close box during the run closes the window");
    }
}

// The restart after closing during a run: the report so far came back; then
// Exit during a run, whose save run.sh checks.
void report_restart_session() {
    if (!find_main(kMainClass, 60)) return;
    const std::string r = result_text();
    const std::vector<std::string> lines = report_lines(r);
    bool aborted_line = false;
    for (const std::string& l : lines) aborted_line = aborted_line || l.rfind("Aborted   : ", 0) == 0;
    check(progress_number(text_of(item(kResult)), g_flush_files) == 0 && aborted_line && !lines.empty() &&
              lines.back() == "aborted.",
          "restart after closing during a run: the report so far, its Aborted line and aborted.",
          visible(r.substr(r.size() > 160 ? r.size() - 160 : 0)));
    snapshot("ja-restart-after-close");
    check_flush_folder("after closing during a run");
    if (start_flushing_run("Exit during a run")) {
        // The Exit button is disabled during a run; its command still comes.
        answer_question(kExit, really_exit(Language::japanese), "Exit", IDYES, "Exit during a run");
        check(wait_for([] { return !IsWindow(main_window()); }, 10), "Exit during a run: the window goes");
    }
}

// Under an English locale (ANSI code page 1252): a first start in English;
// the Japanese labels and question read right all the same; a run, a
// screenshot, and the close box.
void english_locale_session() {
    if (!find_main(kMainClass, 60)) return;
    check_caption_and_style();
    check_controls(expected_cell());
    check_labels(Language::english, "English locale, first start in English:");
    check_states(false, "English locale: idle state");
    snapshot("en-locale-idle");
    switch_language(Language::japanese);
    check_labels(Language::japanese, "English locale, Japanese");
    snapshot("en-locale-japanese");
    answer_question(kExit, really_exit(Language::japanese), "Exit", IDNO,
                    "English locale, Japanese Exit No");
    switch_language(Language::english);
    check_labels(Language::english, "English locale, English again");
    click(kDefaultSize);
    if (run_to_end("English locale: run at tab size 4", 60)) {
        const std::string summary =
            "Converted files = 2 (Total 9 tabs, 0 dots), Non conv. = 1, Refused = 0\r\n";
        const std::string r = result_text();
        check(r.compare(0, summary.size(), summary) == 0, "English locale: report summary line",
              visible(r));
    }
    snapshot("en-locale-after-run");

    // A folder dragged from the desktop and dropped on the window: its *.c
    // become the file pattern, and the next run converts them.
    check(drop_on_main(g_work + "\\dropped"), "English locale: a folder dropped on the window (X drag and drop)");
    pause(1);
    if (run_to_end("English locale: run after the drop", 60)) {
        const std::string r = result_text();
        check(r == "Converted files = 1 (Total 6 tabs, 0 dots), Non conv. = 0, Refused = 0\r\n"
                   "Converted: d.c(6 tabs, 0 dots)\r\n",
              "English locale: the run converts the dropped folder's *.c", visible(r));
    }
    check(close_by_close_box(30), "English locale: close box closes the window");
}

// Started with a saved rectangle that no monitor shows (run.sh wrote it into
// Ravolin.ini): the window comes up on the screen with its title bar in
// reach, as large as it was saved where the screen allows.
void placement_session() {
    const std::string saved = ini_line(kIniLeft) + " " + ini_line(kIniLeft + 1) + " " +
                              ini_line(kIniLeft + 2) + " " + ini_line(kIniLeft + 3);
    if (!find_main(kMainClass, 60)) return;
    long l = 0, t = 0, r = 0, b = 0;
    std::sscanf(saved.c_str(), "%ld %ld %ld %ld", &l, &t, &r, &b);
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT got{};
    GetWindowRect(main_window(), &got);
    const std::string what = "saved rectangle " + saved;
    note(what + ": window at " + rect_text(got) + ", work area " + rect_text(work));
    RECT on_screen{};
    check(IntersectRect(&on_screen, &got, &work) != FALSE, what + ": the window meets the screen");
    const int caption = GetSystemMetrics(SM_CYCAPTION);
    check(got.top >= work.top && got.top + caption <= work.bottom && got.left < work.right - 40 &&
              got.right > work.left + 40,
          what + ": its title bar is on the screen", rect_text(got));
    // The system keeps a framed window at least its minimum tracking size.
    const long want_w = std::max<long>(std::min<long>(r - l, work.right - work.left),
                                       GetSystemMetrics(SM_CXMINTRACK));
    const long want_h = std::max<long>(std::min<long>(b - t, work.bottom - work.top),
                                       GetSystemMetrics(SM_CYMINTRACK));
    check(got.right - got.left == want_w && got.bottom - got.top == want_h,
          what + ": same size (cut to the screen, at least the minimum size)", rect_text(got));
    check(close_by_close_box(30), what + ": close box closes the window");
}

// Names the ANSI code page may not hold (UTF-8 here): Japanese, Korean, an
// emoji; run.sh makes the same files.
const char kJapaneseName[] = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e";  // 日本語
const char kKoreanName[] = "\xed\x95\x9c\xea\xb5\xad";                // 한국
const char kEmojiFolder[] = "data\xf0\x9f\x98\x80";                     // data😀
// A folder and a file name that make a path of over 300 characters.
const std::string kLongDir(200, 'd');
const std::string kLongName = std::string(90, 'n') + ".c";

// Started on an earlier version's Ravolin.ini (run.sh put it there, in the
// ANSI code page): its texts read right. Then runs over names outside the
// code page, chosen by typing them in the dialog and by a drop, and one
// past MAX_PATH; the report shows every name as it is.
void names_session() {
    if (!find_main(kMainClass, 60)) return;
    const std::string earlier = result_text();
    // run.sh wrote a name of the code page there: 表 (second byte 0x5C) in
    // 932, café in 1252.
    const std::string kept = GetACP() == 932 ? "\xe8\xa1\xa8" : "caf\xc3\xa9";
    check(earlier.find("Converted: " + kept + ".c(2 tabs, 0 dots)") != std::string::npos,
          "earlier Ravolin.ini: the report it kept reads right", visible(earlier));
    check(text_of(item(kTabSize)) == L"8", "earlier Ravolin.ini: tab size 8", narrow(text_of(item(kTabSize))));

    drive_file_dialog(g_work + "\\names\\*.c", false, "names typed in the dialog");
    if (run_to_end("run over names outside the code page", 60)) {
        const std::string r = result_text();
        check(sorted_tail(r) == "Converted: plain.c(1 tabs, 0 dots)\n"
                                "Converted: " + std::string(kJapaneseName) + ".c(1 tabs, 0 dots)\n"
                                "Converted: " + kKoreanName + ".c(1 tabs, 0 dots)\n",
              "the report names every file right (read back wide)", visible(r));
        check(file_exists(g_work + "\\names\\" + kJapaneseName + ".c.bak") &&
                  file_exists(g_work + "\\names\\" + kKoreanName + ".c.bak"),
              "backups beside the files of those names");
    }
    snapshot(GetACP() == 932 ? "names-report-cp932" : "names-report-cp1252");

    drive_file_dialog(g_work + "\\names\\" + kJapaneseName + "\\" + kLongDir + "\\*.c", false,
                      "a path past MAX_PATH typed in the dialog");
    if (run_to_end("run over a path past MAX_PATH", 60)) {
        const std::string r = result_text();
        check(r.find("Converted: " + kLongName + "(1 tabs, 0 dots)") != std::string::npos,
              "the file past MAX_PATH is converted", visible(r));
    }

    check(drop_on_main(g_work + "\\" + kEmojiFolder), "a folder with an emoji dropped on the window");
    pause(1);
    if (run_to_end("run after the drop", 60)) {
        const std::string r = result_text();
        check(r == "Converted files = 1 (Total 1 tabs, 0 dots), Non conv. = 0, Refused = 0\r\n"
                   "Converted: a.c(1 tabs, 0 dots)\r\n",
              "the drop's pattern names that folder, no '?' wildcard", visible(r));
        std::string data;
        file_bytes(g_work + "\\data12", &data);
        check(data == "KEEP    THIS        DATA\r\n", "a neighbour the '?' would have matched is untouched",
              visible(data));
    }
    check(close_by_close_box(30), "names: close box closes the window");
}

// Restarted after names_session: the dropped folder's pattern, which no
// ANSI code page holds, came back and runs again.
void names_again_session() {
    if (!find_main(kMainClass, 60)) return;
    // The result box starts with the report kept from the last run, so the
    // new one is waited for by its words.
    const std::string want = "Converted files = 0 (Total 0 tabs, 0 dots), Non conv. = 0, Refused = 1\r\n"
                             "Refused   : a.c\r\n";
    click(kExecute);
    const bool ran = wait_for([&] { return idle_state() && result_text() == want; }, 60);
    check(ran, "restart: the pattern outside the code page came back", visible(result_text()));
    check(close_by_close_box(30), "names again: close box closes the window");
}

}  // namespace
}  // namespace e2e

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: driver first|second|third|english-locale|placement|names|names-again CTL WORKDIR [SLOW [BIGFILES]]\n");
        return 100;
    }
    e2e::set_control_folder(argv[2]);
    e2e::g_work = argv[3];
    if (argc > 4) e2e::set_slowness(std::atof(argv[4]));
    if (argc > 5) e2e::g_big_files = std::atoi(argv[5]);
    if (argc > 6) e2e::g_flush_files = std::atoi(argv[6]);
    const std::string what = argv[1];
    if (what == "first") e2e::first_session();
    else if (what == "second") e2e::second_session();
    else if (what == "third") e2e::third_session();
    else if (what == "english-locale") e2e::english_locale_session();
    else if (what == "placement") e2e::placement_session();
    else if (what == "report") e2e::report_session();
    else if (what == "report-restart") e2e::report_restart_session();
    else if (what == "names") e2e::names_session();
    else if (what == "names-again") e2e::names_again_session();
    else {
        std::fprintf(stderr, "unknown session %s\n", what.c_str());
        return 100;
    }
    std::printf("driver %s: %d passed, %d failed\n", what.c_str(), e2e::passed(), e2e::failed());
    return e2e::failed() > 100 ? 100 : e2e::failed();
}
