// The indentation styles: what a file becomes in each, table-driven like the
// run's cases (LF texts, compared after LF -> CR LF), and the properties
// that define them, on random C-like text.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/test_util.h"

using ravolin::Encoding;
using ravolin::LineEnds;
using ravolin::Style;
using ravolin::test::convert;
using ravolin::test::crlf;

namespace {

struct Case {
    const char* name;
    Style style;
    std::string in;
    std::string want;  // LF form
    int tabs, expanded, dots;
    Encoding encoding = Encoding::kCp932;
    int tab_size = 4;
};

void check(const std::vector<Case>& cases) {
    // Through small reads, with CR LF kept or translated, and lent.
    for (const bool stored : {false, true})
    for (const LineEnds ends : {LineEnds::kKept, LineEnds::kTranslated})
    for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{3}}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " chunk=" + std::to_string(chunk) + (stored ? " CR LF" : "") +
                         (ends == LineEnds::kKept ? " kept" : " translated"));
            const std::string in = stored ? crlf(c.in) : c.in;
            const auto r = convert(in, c.tab_size, chunk, c.encoding, ravolin::convert_file, ends, c.style);
            EXPECT_EQ(r.text, crlf(c.want));
            EXPECT_EQ(r.tabs, c.tabs);
            EXPECT_EQ(r.expanded, c.expanded);
            EXPECT_EQ(r.dots, c.dots);
            if (ends == LineEnds::kKept && chunk == 1) {
                EXPECT_EQ(ravolin::test::convert_lent(in, c.tab_size, 2, c.encoding, c.style).text, crlf(c.want));
            }
        }
    }
}

const std::string kHyo = "\x95\x5c";  // Shift-JIS, second byte a backslash
const std::string kA = "\x82\xa0";    // Shift-JIS, two columns
const std::string kGo = "\xe8\xaa\x9e";  // UTF-8, wide

constexpr Style kLeading = Style::kLeading, kSmart = Style::kSmart, kExpand = Style::kExpand,
                kExpandLeading = Style::kExpandLeading;

TEST(Styles, LeadingOnly) {
    check({
        {"indentation as a run does it, the rest kept", kLeading, "        int     x;\n", "\t\tint     x;\n", 2, 0, 0},
        {"one space of indentation stays", kLeading, " x  = 1;\n", " x  = 1;\n", 0, 0, 0},
        {"spaces before a tab go, counted", kLeading, "  \tx  \ty\n", "\tx  \ty\n", 1, 0, 0},
        {"a blank line's blanks are indentation", kLeading, "      \n", "\t  \n", 1, 0, 0},
        {"comment lines indented too", kLeading, "/*\n     * a    b */\n", "/*\n\t * a    b */\n", 1, 0, 0},
        {"a spliced string's blanks are the string's", kLeading, "s = \"a\\\n        b\";\n",
         "s = \"a\\\n        b\";\n", 0, 0, 0},
        {"dot rule", kLeading, "    // " + kHyo + "\n", "\t// " + kHyo + ".\n", 1, 0, 1},
        {"a tab in a literal", kLeading, "    p(\"a\t b\");\n", "\tp(\"a\t b\");\n", 1, 0, 0},
    });
}

TEST(Styles, SmartTabs) {
    check({
        {"indentation tabs, a mid-line tab spaces", kSmart, "        int\tx;  // c\n", "\t\tint x;  // c\n", 2, 1, 0},
        {"remainder of the indentation stays spaces", kSmart, "      x\n", "\t  x\n", 1, 0, 0},
        {"a continued call aligns with spaces", kSmart, "    foo(a,\n        b);\n", "\tfoo(a,\n\t    b);\n", 2, 0, 0},
        {"alignment tabs become spaces", kSmart, "\tif (a &&\n\t\t\tb)\n", "\tif (a &&\n\t        b)\n", 0, 2, 0},
        {"already smart stays", kSmart, "\tfoo(a,\n\t    b);\n", "\tfoo(a,\n\t    b);\n", 0, 0, 0},
        {"closed brackets: the next line is indentation", kSmart, "foo(a,\n    b);\n        x;\n",
         "foo(a,\n    b);\n\t\tx;\n", 2, 0, 0},
        {"nested, opened on a continued line", kSmart, "\tf(a,\n\t  g(b,\n\t    c));\n\tx;\n",
         "\tf(a,\n\t  g(b,\n\t    c));\n\tx;\n", 0, 0, 0},
        {"a less indented continuation keeps its own", kSmart, "\t\tfoo(a,\n\tb);\n", "\t\tfoo(a,\n\tb);\n", 0, 0, 0},
        {"square brackets", kSmart, "int a[] = { b[1\n            ], 2 };\n", "int a[] = { b[1\n            ], 2 };\n", 0, 0, 0},
        {"a bracket in a string opens nothing", kSmart, "s = \"(\";\n        x;\n", "s = \"(\";\n\t\tx;\n", 2, 0, 0},
        {"a bracket in a comment opens nothing", kSmart, "// (\n/* [ */\n        x;\n", "// (\n/* [ */\n\t\tx;\n", 2, 0, 0},
        {"a bracket as a character opens nothing", kSmart, "c = '(';\n        x;\n", "c = '(';\n\t\tx;\n", 2, 0, 0},
        {"#if and #else branches open one bracket", kSmart,
         "#if A\nif (a &&\n#else\nif (b &&\n#endif\n    c)\n        x;\n",
         "#if A\nif (a &&\n#else\nif (b &&\n#endif\n    c)\n\t\tx;\n", 2, 0, 0},
        {"a tab in a literal stays, moves the column", kSmart, "\tp(\"a\tb\");\tx\n", "\tp(\"a\tb\");    x\n", 0, 1, 0},
        {"a tab in a comment is alignment", kSmart, "x; /*\ta */\n", "x; /*   a */\n", 0, 1, 0},
        {"a double-byte character is two columns", kSmart, kA + "\tx\n", kA + "  x\n", 0, 1, 0},
        {"a wide UTF-8 character is two columns", kSmart, kGo + "\tx\n", kGo + "  x\n", 0, 1, 0, Encoding::kUtf8},
        {"a spliced string is left alone", kSmart, "s = \"a\\\n\t\tb\";\tx\n", "s = \"a\\\n\t\tb\"; x\n", 0, 1, 0},
        {"spaces before a tab go, counted", kSmart, " \tx\n", "\tx\n", 1, 0, 0},
        {"dot rule", kSmart, "\tx; //\t" + kHyo + "\n", "\tx; //   " + kHyo + ".\n", 0, 1, 1},
        {"tab size 8", kSmart, "\t\tfoo(a,\n\t\t    b)\n", "\t\tfoo(a,\n\t\t    b)\n", 0, 0, 0, Encoding::kCp932, 8},
    });
}

TEST(Styles, Expand) {
    check({
        {"every tab outside literals", kExpand, "\tint\tx; /*\t*/ \"\t\"\n", "    int x; /*   */ \"\t\"\n", 0, 3, 0},
        {"tab size 8", kExpand, "a\tb\n", "a       b\n", 0, 1, 0, Encoding::kCp932, 8},
        {"spaces stay", kExpand, "        x  = 1;\n", "        x  = 1;\n", 0, 0, 0},
        {"a double-byte character is two columns", kExpand, kA + "\tx\n", kA + "  x\n", 0, 1, 0},
        {"a wide UTF-8 character is two columns", kExpand, kGo + "\tx\n", kGo + "  x\n", 0, 1, 0, Encoding::kUtf8},
        {"a spliced string is left alone", kExpand, "s = \"a\\\n\tb\";\n", "s = \"a\\\n\tb\";\n", 0, 0, 0},
        {"dot rule", kExpand, "\t// " + kHyo + "\n", "    // " + kHyo + ".\n", 0, 1, 1},
        {"--leading: the indentation only", kExpandLeading, "\t\tx\t= 1;\n", "        x\t= 1;\n", 0, 2, 0},
        {"--leading: a tab after spaces in it", kExpandLeading, "  \tx\n", "    x\n", 0, 1, 0},
    });
}

// C-like text with tabs and spaces everywhere (the engine property test's
// kind of text, tabs meant for the tab size).
std::string make_text(std::mt19937& rng) {
    static const char* tokens[] = {
        "int", "x", "=", "42;", "(", ")", "[", "]", "{", "}", "f(a,", "\"a  b\"", "\"\\\"\t\"", "'('",
        "/*", "*/", "//", "/* c\td */", "\x82\xa0", "\xb1", "*", "/", "#if 1", "#else", "#endif",
    };
    std::uniform_int_distribution<int> n_lines(1, 40), n_items(0, 12), pick(0, 99);
    std::uniform_int_distribution<int> tok(0, sizeof tokens / sizeof *tokens - 1), run(1, 13);
    std::string s;
    for (int l = n_lines(rng); l > 0; --l) {
        for (int k = n_items(rng); k > 0; --k) {
            const int p = pick(rng);
            if (p < 35) s.append(static_cast<std::size_t>(run(rng)), ' ');
            else if (p < 50) s += '\t';
            else s += tokens[tok(rng)];
        }
        s += '\n';
    }
    return s;
}

std::string strip_cr(const std::string& s) {
    std::string r;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) r += s[i];
    return r;
}

// Each line rendered at tab size ts: the column of every byte, Shift-JIS
// pairs two columns (no text here needs more).
std::vector<std::vector<int>> columns(const std::string& text, int ts) {
    std::vector<std::vector<int>> lines(1);
    int col = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b == '\n') {
            lines.emplace_back();
            col = 0;
            continue;
        }
        lines.back().push_back(b == ' ' || b == '\t' ? -1 : col);
        if (b == '\t') col += ts - col % ts;
        else if ((b >= 0x81 && b <= 0x9f) && i + 1 < text.size()) {
            lines.back().push_back(-1);
            ++i;
            col += 2;
        } else ++col;
    }
    return lines;
}

// Display at the given tab size is the input's, and at 2, 4 and 8 every
// non-blank character after a line's leading tabs keeps its column relative
// to them: alignment survives any tab size.
TEST(Styles, SmartKeepsAlignmentAtAnyTabSize) {
    std::mt19937 rng(20261210);
    for (const int ts : {2, 4, 8}) {
        for (int round = 0; round < 60; ++round) {
            const std::string in = make_text(rng);
            const auto r = convert(in, ts, 0, Encoding::kCp932, ravolin::convert_file, LineEnds::kKept, Style::kSmart);
            ASSERT_EQ(r.dots, 0);
            const std::string out = strip_cr(r.text);
            SCOPED_TRACE("tab size " + std::to_string(ts) + "\ninput:\n" + in + "\noutput:\n" + out);
            auto shown = [](const std::vector<std::vector<int>>& l) {
                std::vector<std::vector<int>> cols;
                for (const auto& line : l) {
                    cols.emplace_back();
                    for (int c : line) if (c >= 0) cols.back().push_back(c);
                }
                return cols;
            };
            ASSERT_EQ(shown(columns(out, ts)), shown(columns(in, ts)));
            // Lines that hold a tab in a literal cannot keep it; they are the
            // ones with a quote in them.
            std::vector<std::vector<int>> at[3];
            const int sizes[3] = {2, 4, 8};
            for (int k = 0; k < 3; ++k) at[k] = columns(out, sizes[k]);
            std::size_t start = 0;
            for (std::size_t l = 0; l < at[0].size(); ++l) {
                const std::size_t end = out.find('\n', start);
                const std::string line = out.substr(start, end == std::string::npos ? std::string::npos : end - start);
                start = end + 1;
                if (line.find('"') != std::string::npos) continue;
                const int tabs = static_cast<int>(line.find_first_not_of('\t') == std::string::npos
                                                      ? line.size() : line.find_first_not_of('\t'));
                for (std::size_t i = 0; i < at[0][l].size(); ++i) {
                    if (at[0][l][i] < 0) continue;
                    ASSERT_EQ(at[1][l][i] - 4 * tabs, at[0][l][i] - 2 * tabs) << "line " << l << ": " << line;
                    ASSERT_EQ(at[2][l][i] - 8 * tabs, at[0][l][i] - 2 * tabs) << "line " << l << ": " << line;
                }
            }
        }
    }
}

// A run and then --expand with the same tab size give back a text that had
// no tabs; a second --smart changes nothing.
TEST(Styles, ExpandUndoesARun) {
    std::mt19937 rng(20261211);
    for (const int ts : {1, 4, 8}) {
        for (int round = 0; round < 60; ++round) {
            std::string in = make_text(rng);
            for (char& ch : in) if (ch == '\t') ch = ' ';
            const auto ran = convert(in, ts);
            const auto back = convert(strip_cr(ran.text), ts, 0, Encoding::kCp932, ravolin::convert_file,
                                      LineEnds::kKept, Style::kExpand);
            ASSERT_EQ(strip_cr(back.text), in) << "tab size " << ts << "\ninput:\n" << in;
            const auto smart = convert(in, ts, 0, Encoding::kCp932, ravolin::convert_file, LineEnds::kKept, Style::kSmart);
            const auto again = convert(smart.text, ts, 0, Encoding::kCp932, ravolin::convert_file, LineEnds::kKept,
                                       Style::kSmart);
            ASSERT_EQ(again.text, smart.text) << "tab size " << ts << "\ninput:\n" << in;
        }
    }
}

}  // namespace
