// The edit boxes' texts as collect_edit_texts reads them: GetWindowTextA on
// each row's item window.
#pragma once
#include "form/edit_texts.h"

namespace ravolin {

EditTextSeam& window_edit_texts();

}  // namespace ravolin
