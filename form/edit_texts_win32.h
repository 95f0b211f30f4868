// The edit boxes' texts as the settings code reads them: GetWindowTextA on
// each row's item window.
#pragma once
#include "settings/settings_file.h"

namespace ravolin {

EditTextSeam& window_edit_texts();

}  // namespace ravolin
