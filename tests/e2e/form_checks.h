// Ravolin's main window as the end-to-end driver expects to find it: its form
// rows by name, its labels in both languages, and the checks of its controls,
// their states and its scrolling. The row numbers are the child window ids
// the program gives its controls (form/form_table.cpp); they are written
// again here on purpose, so that a change to the form shows up as a failure.
#pragma once
#include <string>

#include "form/layout_math.h"

namespace e2e {

// Form rows that are controls.
constexpr int kTitle = 0;           // static: the form's title
constexpr int kLanguage = 1;        // button: switches the language
constexpr int kDefaultSize = 2;     // button "#": the default window size
constexpr int kInputFiles = 3;      // button: opens the file dialog
constexpr int kTabSize = 11;        // edit: tab size text
constexpr int kExecute = 21;        // button: starts a run
constexpr int kExit = 22;           // button: asks, then ends the program
constexpr int kAbort = 23;          // button: asks, then stops the run
constexpr int kResult = 25;         // edit: the run's report
constexpr int kResultLabel = 39;    // static "Result"
constexpr int kTabSizeLabel = 40;   // static "Tab size"
constexpr int kFormRows = 50;

extern const char kMainClass[];

enum class Language { japanese, english };
const wchar_t* label(Language language, int row);  // nullptr for a row without one
const wchar_t* really_exit(Language language);      // the Exit question
const wchar_t* really_abort(Language language);     // the Abort question
const wchar_t* name_too_long(Language language);    // the file dialog's refusal of a long name

ravolin::Cell expected_cell();  // from the System font, as the program measures it

void check_caption_and_style();
void check_controls(ravolin::Cell cell);
void check_scrolling(ravolin::Cell cell);
void check_labels(Language language, const std::string& what);
void check_states(bool running, const std::string& what);

bool idle_state();
bool running_state();
std::string result_text();

// Clicks Execute and waits for the report of the run over the current file
// pattern.
bool run_to_end(const std::string& what, double seconds);

}  // namespace e2e
