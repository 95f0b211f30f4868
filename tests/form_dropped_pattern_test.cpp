// The file pattern made from items dropped on the window.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "form/dropped_pattern.h"

namespace ravolin {
namespace {

TEST(DroppedPattern, FileFolderOrSeveral) {
    const std::string kHyo = "\x95\x5c";
    struct Case { std::vector<DroppedItem> items; std::string want; };
    const std::string deep = "C:\\src\\" + kHyo + "\\";
    const std::string in_deep = deep + "a.c", hyo_folder = "C:\\" + kHyo;
    const Case cases[] = {
        {{{"C:\\src\\a.c", false}},                              "C:\\src\\a.c"},
        {{{"C:\\src\\lib", true}},                               "C:\\src\\lib\\*.c"},
        {{{"C:\\", true}},                                       "C:\\*.c"},    // a drive's root
        {{{"C:\\src\\a.c", false}, {"C:\\src\\b.h", false}},     "C:\\src\\*.c"},
        {{{"C:\\src\\lib", true}, {"C:\\src\\a.c", false}},      "C:\\src\\*.c"},
        {{{in_deep.c_str(), false}, {"x", false}},               deep + "*.c"},
        {{{hyo_folder.c_str(), true}},                           hyo_folder + "\\*.c"},
    };
    for (const Case& c : cases) {
        char out[100];
        EXPECT_TRUE(dropped_pattern(c.items[0], c.items.size(), kCodePage932LeadBytes, out, sizeof out));
        EXPECT_EQ(std::string(out), c.want) << c.items[0].path;
    }
}

TEST(DroppedPattern, NothingOrTooLongLeavesThePatternAlone) {
    const DroppedItem folder{"C:\\abcdef", true};  // needs 14 bytes with "\*.c"
    struct Case { std::size_t count; std::size_t cap; bool ok; };
    const Case cases[] = {
        // count cap  taken
        {0,      100, false},   // an empty drop
        {1,      14,  true},
        {1,      13,  false},   // one byte short: never cut
    };
    for (const Case& c : cases) {
        char out[100] = "old";
        EXPECT_EQ(dropped_pattern(folder, c.count, kNoLeadBytes, out, c.cap), c.ok) << c.cap;
        EXPECT_STREQ(out, c.ok ? "C:\\abcdef\\*.c" : "old") << c.cap;
    }
}

}  // namespace
}  // namespace ravolin
