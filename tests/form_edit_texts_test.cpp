// The edit boxes' texts into their text slots: which rows are read, and what
// a slot holds after a text that is missing or too long.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/bounded_text.h"
#include "form/edit_texts.h"
#include "form/form_table.h"
#include "settings/window_data.h"

namespace ravolin {
namespace {

// Answers whatever a test put in `texts` for a row; writes at most cap bytes
// like GetWindowTextA. Rows it has no text for yield nothing.
class FakeEdits : public EditTextSeam {
public:
    void read_text(int row, char* out, std::size_t cap) override {
        rows_read.push_back(row);
        auto it = texts.find(row);
        if (it == texts.end() || cap == 0) return;
        std::size_t n = std::min(it->second.size(), cap - 1);
        std::memcpy(out, it->second.data(), n);
        out[n] = '\0';
    }
    std::map<int, std::string> texts;
    std::vector<int> rows_read;
};

TEST(CollectEditTexts, CopiesCutsAndEmpties) {
    struct Case { const char* name; std::map<int, std::string> texts; std::string tab, result; };
    const Case cases[] = {
        {"texts copied", {{kRowTabSize, "12"}, {kRowResult, "r"}}, "12", "r"},
        {"no text empties the slot", {}, "", ""},
        {"longer text cut to 31999 bytes", {{kRowResult, std::string(40000, 'q')}}, "",
         std::string(31999, 'q')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        set_default_data();
        copy_text(g_text_slots[kSlotResult], kSlotSize, "old");
        FakeEdits edits;
        edits.texts = c.texts;
        collect_edit_texts(edits);
        EXPECT_EQ(edits.rows_read, (std::vector<int>{kRowTabSize, kRowResult}));  // the edit boxes
        EXPECT_EQ(std::string(g_text_slots[kSlotTabSize]), c.tab);
        EXPECT_EQ(std::string(g_text_slots[kSlotResult]), c.result);
        EXPECT_STREQ(g_text_slots[kSlotSpec], ".\\*.c");  // not an edit box
    }
}

TEST(TabSizeBox, ReadLenientlyAndHeldToOneToForty) {
    const struct {
        const char* text;
        int want;
    } cases[] = {{"8", 8},  {" 8", 8}, {"8x", 8},  {"+6", 6},  {"", 1},           {"abc", 1},  {"\t4", 4},
                 {"0", 1},  {"-3", 1}, {"41", 40}, {"40", 40}, {"99999999999", 40}, {"0x10", 1}};
    for (const auto& c : cases) EXPECT_EQ(tab_size_of_box(c.text), c.want) << '"' << c.text << '"';
}

}  // namespace
}  // namespace ravolin
