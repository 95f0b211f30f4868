// The edit boxes' texts go into the text slots of their rows: before a run
// (the run reads the file pattern and tab size from the slots) and before the
// settings are saved.
#pragma once
#include <cstddef>

namespace ravolin {

// Reads the text of the control of a form row (the window: GetWindowTextA on
// the row's item window). Writes at most cap bytes including the NUL.
class EditTextSeam {
public:
    virtual ~EditTextSeam() = default;
    virtual void read_text(int row, char* out, std::size_t cap) = 0;
};

// Copies the text of every edit box row (kind 41) into the text slot of its
// `ref`, cut to 31999 bytes.
void collect_edit_texts(EditTextSeam& edits);

// The tab size box read leniently, as it always was: a whole number at the
// start of the text (strtol, base 10; leading blanks and a sign allowed,
// anything after it ignored), then held to 1..40, so that any text gives a
// size.
int tab_size_of_box(const char* text);

}  // namespace ravolin
