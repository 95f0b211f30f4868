// Working a window of another process from outside, as a user would: finding
// it, posting commands to its controls, typing into them, reading their texts,
// answering its message boxes and its open-file dialog, and asking run.sh for
// screenshots. Knows nothing of Ravolin's form: controls are named by the
// caller's row numbers. Also the check lines every session prints.
#pragma once
#include <windows.h>

#include <string>

namespace e2e {

// ---- check lines: "PASS what" or "FAIL what -- detail"

void check(bool ok, const std::string& what, const std::string& detail = "");
void note(const std::string& text);
int passed();
int failed();

// ---- time: every wait is scaled, since the 32-bit build runs emulated

void set_slowness(double factor);
double slowness();
void pause(double seconds);

// Polls cond every 50 ms until it holds or the (scaled) time is up.
template <class F>
bool wait_for(F cond, double seconds) {
    const DWORD limit = static_cast<DWORD>(seconds * slowness() * 1000);
    const DWORD start = GetTickCount();
    for (;;) {
        if (cond()) return true;
        if (GetTickCount() - start > limit) return false;
        Sleep(50);
    }
}

// ---- texts and files

std::string narrow(const std::wstring& w);  // to UTF-8, for the check lines
std::wstring wide(const std::string& s);    // from UTF-8: paths are UTF-8 here
std::string visible(const std::string& s);  // control characters spelled out
bool file_bytes(const std::string& path, std::string* out);  // paths in UTF-8
bool file_exists(const std::string& path);

// ---- the window under test and its controls (child id = row)

bool find_main(const char* window_class, double seconds);
HWND main_window();
HWND item(int row);
bool enabled(int row);
void click(int row);                          // posted, so a message box cannot block it
void type_into(HWND w, const wchar_t* text);  // replaces the control's text
std::wstring text_of(HWND w);
std::string class_of(HWND w);
RECT rect_in_main(HWND w);                    // in the main window's client coordinates
std::string rect_text(const RECT& r);         // "left,top,right,bottom"
bool close_by_close_box(double seconds);      // the system menu's Close; true once gone

// ---- screenshots: CTL\snap.req ("name left top width height") is taken and
// removed by run.sh

void set_control_folder(const std::string& ctl);
const std::string& control_folder();
void snapshot(const char* name);

// ---- drops: CTL\drop.req ("x y PATH...", full paths on drive Z:, separated
// by blanks) is acted on by run.sh as a file manager's drag and drop at that
// point of the screen, and removed; CTL\drop.rc holds its exit status. True
// when the drop was made.

bool drop_on_main(const std::string& paths);

// ---- the window's dialogs ("#32770" windows of its thread)

HWND wait_dialog(double seconds);
bool wait_dialog_gone(HWND dialog);
HWND wait_dialog_of(HWND owner, double seconds);  // a "#32770" owned by owner
HWND file_name_field(HWND dialog);                 // the open-file dialog's name field, once shown
void press(HWND dialog, int id);

// Clicks row, checks the question box it opens (text and caption), answers it
// with IDYES or IDNO and checks that it closes.
void answer_question(int row, const wchar_t* want_text, const char* want_caption, int answer,
                     const std::string& what);

// Answers an open-file dialog: types name into its file name field and
// presses Open, or cancels it. True once the dialog has closed.
bool answer_file_dialog(HWND dialog, const std::string& name, bool cancel,
                        const std::string& what);

}  // namespace e2e
