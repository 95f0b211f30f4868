// Conversion engine: what a file becomes, table-driven. Inputs use LF line
// ends unless a case is about line ends; expected texts are written with LF
// and compared after LF -> CR LF, as the output stream stores them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/engine.h"
#include "engine/line_merge.h"
#include "tests/test_util.h"

using ravolin::test::convert;
using ravolin::test::convert_lent;
using ravolin::test::crlf;
using ravolin::LineEnds;

namespace {

struct Case {
    const char* name;
    std::string in;
    int tab_size;
    std::string want;  // LF form
    int tabs;
    int dots;
};

void check(const std::vector<Case>& cases) {
    // Every case also goes through one-byte and three-byte reads, copied or
    // lent, so a CR LF or a piece split across reads cannot change the result;
    // through every scanner the machine has; and with CR LF line ends, kept
    // for the converter or translated by the reader.
    ravolin::test::for_each_scan_path([&] {
    for (const bool stored : {false, true})
    for (const LineEnds ends : {LineEnds::kKept, LineEnds::kTranslated})
    for (const bool lent : {false, true})
    for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{3}}) {
        if (lent && ends == LineEnds::kTranslated) continue;  // a lending source's reader keeps them
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " chunk=" + std::to_string(chunk) + (lent ? " lent" : "") +
                         (stored ? " CR LF" : "") + (ends == LineEnds::kKept ? " kept" : " translated") + " " +
                         ravolin::scan_path());
            const std::string in = stored ? crlf(c.in) : c.in;
            auto r = lent ? convert_lent(in, c.tab_size, chunk)
                          : convert(in, c.tab_size, chunk, ravolin::Encoding::kCp932, ravolin::convert_file, ends);
            EXPECT_EQ(r.text, crlf(c.want));
            EXPECT_EQ(r.tabs, c.tabs);
            EXPECT_EQ(r.dots, c.dots);
        }
    }
    });
}

const std::string kHyo = "\x95\x5c";  // a character whose second byte is a backslash

TEST(SpaceRun, TabStopArithmetic) {
    check({
        {"one space at a stop stays", "abc d\n", 4, "abc d\n", 0, 0},
        {"two from col 2 reach the stop", "ab  c\n", 4, "ab\tc\n", 1, 0},
        {"two from col 1 stay", "a  c\n", 4, "a  c\n", 0, 0},
        {"three from col 3", "abc   d\n", 4, "abc\t  d\n", 1, 0},
        {"eight at line start", "        x\n", 4, "\t\tx\n", 2, 0},
        {"six at line start", "      x\n", 4, "\t  x\n", 1, 0},
        {"space before tab one short of stop", "abc \td\n", 4, "abc\t\td\n", 1, 0},
        {"space before tab elsewhere dropped", "ab \td\n", 4, "ab\td\n", 1, 0},
        {"ts8 space before tab at col 7", "abcdefg \tx\n", 8, "abcdefg\t\tx\n", 1, 0},
        {"ts8 space before tab at col 3", "abc \tx\n", 8, "abc\tx\n", 1, 0},
        {"two before tab from col 1 dropped", "a  \tb\n", 4, "a\tb\n", 1, 0},
        {"three before tab from col 1", "a   \tb\n", 4, "a\t\tb\n", 1, 0},
        {"five before tab from col 0", "     \tb\n", 4, "\t\tb\n", 2, 0},
        {"trailing spaces converted, not removed", "a    \n", 4, "a\t \n", 1, 0},
        {"ts1 run", "a  b\n", 1, "a\t\tb\n", 2, 0},
        {"ts1 single space", "a b\n", 1, "a b\n", 0, 0},
        {"ts1 single space before tab", "a \tb\n", 1, "a\t\tb\n", 1, 0},
        {"ts40 39 spaces", "a" + std::string(39, ' ') + "b\n", 40, "a\tb\n", 1, 0},
        {"ts40 38 spaces", "a" + std::string(38, ' ') + "b\n", 40, "a" + std::string(38, ' ') + "b\n", 0, 0},
        {"run at end of input", "a    ", 4, "a\t ", 1, 0},
        {"input tab moves the column", "\t  a    b\n", 4, "\t  a\t   b\n", 1, 0},
        {"double-byte char is two columns", kHyo + "  x\n", 4, kHyo + "\tx\n", 1, 0},
        {"half-width kana is one column", "\xb1  x\n", 4, "\xb1  x\n", 0, 0},
    });
}

TEST(Lexical, StringsAndComments) {
    check({
        {"empty file", "", 4, "", 0, 0},
        {"empty lines", "\n\n", 4, "\n\n", 0, 0},
        {"spaces in a string stay", "p(\"a    b\");    x\n", 4, "p(\"a    b\");\tx\n", 1, 0},
        {"escaped quote keeps the string", "\"\\\"    \"    x\n", 4, "\"\\\"    \"\tx\n", 1, 0},
        {"escaped backslash ends it", "\"\\\\\"    x\n", 4, "\"\\\\\"\tx\n", 1, 0},
        {"char constant with escaped quote", "'\\\"'    x\n", 4, "'\\\"'\tx\n", 1, 0},
        {"quote in char constant opens a string to the next line",
         "'\"'    x\n    \"    y\n", 4, "'\"'    x\n    \"\t y\n", 1, 0},
        {"block comment spaces converted", "/*      x */\n", 4, "/*\t\tx */\n", 2, 0},
        {"block comment spans lines, quote inside", "/* \"\n    x */    y\n", 4, "/* \"\n\tx */\ty\n", 2, 0},
        {"slash pair in a string", "\"//\"    x\n", 4, "\"//\"\tx\n", 1, 0},
        {"slash star in a string", "\"/*\"    x\n", 4, "\"/*\"\tx\n", 1, 0},
        {"slash pair in a block comment", "/* // */ \"    \"\n", 4, "/* // */ \"    \"\n", 0, 0},
        {"slash star in a line comment", "// /*\n\"    \"\n", 4, "// /*\n\"    \"\n", 0, 0},
        {"star slash in code ends nothing", "x */* \" */    \"  y\n", 4, "x */* \" */\t  \"  y\n", 1, 0},
        {"line comment spaces converted", "x; //    y\n", 4, "x; //\t y\n", 1, 0},
        {"unclosed string lasts to the end", "\"a\n    b\n", 4, "\"a\n    b\n", 0, 0},
        {"lead byte takes the quote", "\x81\"    x\n", 4, "\x81\"\t  x\n", 1, 0},
        {"state is reset per file: starts in code", "    x\n", 4, "\tx\n", 1, 0},
    });
}

TEST(Lexical, RawLiteralsAndHeaderNames) {
    check({
        {"raw literal keeps its blanks", "s = R\"x( a \"    \" b )x\";    t;\n", 4,
         "s = R\"x( a \"    \" b )x\";\tt;\n", 1, 0},
        {"u8R opens one", "u8R\"(\"    \")\"    x\n", 4, "u8R\"(\"    \")\"\t x\n", 1, 0},
        {"LR opens one", "LR\"(\"    \")\"    x\n", 4, "LR\"(\"    \")\"\tx\n", 1, 0},
        {"a longer word is no prefix", "xR\"(\"    \")\"\n", 4, "xR\"(\"\t \")\"\n", 1, 0},
        {"a double-byte character before R is no prefix", "\x82R\"(\"    \")\"\n", 4, "\x82R\"(\"\t \")\"\n", 1, 0},
        {"raw literal over lines", "R\"(\n    a \"\n    )\"    x\n", 4, "R\"(\n    a \"\n    )\"\t  x\n", 1, 0},
        {"raw literal ends at its delimiter only", "R\"xy( )x\" \"    \" )xy\";    t\n", 4,
         "R\"xy( )x\" \"    \" )xy\";\t  t\n", 1, 0},
        {"raw literal's end stands on one line", "R\"x(a)\nx\"    b )x\"\n", 4, "R\"x(a)\nx\"    b )x\"\n", 0, 0},
        {"a blank in the delimiter makes a string", "R\"a b(\"    x\n", 4, "R\"a b(\"\t   x\n", 1, 0},
        {"a 17-character delimiter makes a string", "R\"aaaaaaaaaaaaaaaaa(\"    x\n", 4,
         "R\"aaaaaaaaaaaaaaaaa(\"\t x\n", 1, 0},
        {"?? and / in the delimiter make a string", "R\"?\?/(\"    x\n", 4, "R\"?\?/(\"\t   x\n", 1, 0},
        {"header name keeps its blanks", "#include <a    b.h>    // x\n", 4, "#include <a    b.h>\t   // x\n", 1, 0},
        {"blanks before a header name stay", "    #  include_next    <a    b.h>\n", 4,
         "\t#  include_next    <a    b.h>\n", 1, 0},
        {"a tab before it moves the column", "#include\t<a>    x\n", 4, "#include\t<a>\t   x\n", 1, 0},
        {"import without a blank", "#import<a    b.h>\n", 4, "#import<a    b.h>\n", 0, 0},
        {"not at the line's start: an operator", "x #include <a    b.h>\n", 4, "x #include <a\t b.h>\n", 1, 0},
        {"another directive: an operator", "#define X <a    b>\n", 4, "#define X <a\tb>\n", 1, 0},
        {"a longer name: an operator", "#includes <a    b>\n", 4, "#includes <a\tb>\n", 1, 0},
        {"header name ends with its line", "#include <a\n    x > 1\n", 4, "#include <a\n\tx > 1\n", 1, 0},
        {"after a lone CR a line starts", "a\r#include <a    b.h>\n", 4, "a\r#include <a    b.h>\n", 0, 0},
        {"a '#' in a string is no directive", "\"\n#include <a    b.h>\"\n", 4, "\"\n#include <a    b.h>\"\n", 0, 0},
        {"a '>' in a comment ends nothing", "// a>\"  \n    x\n", 4, "// a>\"\t\n\tx\n", 2, 0},
    });
}

TEST(Lexical, DotsAndContinuations) {
    check({
        {"dot after 0x5C char at line comment end", "// " + kHyo + "\n\"    \"\n", 4,
         "// " + kHyo + ".\n\"    \"\n", 0, 1},
        {"space before the line end: no dot", "// " + kHyo + " \n\"    \"\n", 4,
         "// " + kHyo + " \n\"    \"\n", 0, 0},
        {"tab before the line end: no dot", "// " + kHyo + "\t\n", 4, "// " + kHyo + "\t\n", 0, 0},
        {"no dot in a block comment", "/* " + kHyo + "\n*/\n", 4, "/* " + kHyo + "\n*/\n", 0, 0},
        {"no dot in a string", "\"" + kHyo + "\n\"\n", 4, "\"" + kHyo + "\n\"\n", 0, 0},
        {"no dot in code", kHyo + "\n", 4, kHyo + "\n", 0, 0},
        {"no dot on a last line without end", "// " + kHyo, 4, "// " + kHyo, 0, 0},
        {"two dots in two comments", "//" + kHyo + "\n//" + kHyo + "\n", 4,
         "//" + kHyo + ".\n//" + kHyo + ".\n", 0, 2},
        {"backslash continues a line comment", "// a\\\n\"    \"\nb \"    \"\n", 4,
         "// a\\\n\"\t \"\nb \"    \"\n", 1, 0},
        {"continued onto an empty line, ends there", "// a\\\n\n\"    \"\n", 4, "// a\\\n\n\"    \"\n", 0, 0},
        {"Japanese text ends the comment", "// \x82\xa0\n\"    \"\n", 4, "// \x82\xa0\n\"    \"\n", 0, 0},
        {"lead byte takes the LF: comment goes on", "// \x81\n\"    \"\n", 4, "// \x81\n\"\t \"\n", 1, 0},
    });
}

TEST(LineEnds, TextStreamRules) {
    struct Raw {
        const char* name;
        std::string in, want;
    };
    const Raw cases[] = {
        {"LF becomes CR LF", "a\nb\n", "a\r\nb\r\n"},
        {"CR LF kept", "a\r\nb\r\n", "a\r\nb\r\n"},
        {"last line without end", "a\nb", "a\r\nb"},
        {"Ctrl-Z ends the input", "a\nb\x1a    c\n", "a\r\nb"},
        {"Ctrl-Z right after a CR", "a\r\x1a\n", "a\r"},
        {"lone CR at the end stays", "a\r", "a\r"},
        {"CR CR LF round-trips", "a\r\r\nb\n", "a\r\r\nb\r\n"},
        {"CR CR CR LF round-trips", "a\r\r\r\n    b\n", "a\r\r\r\n\tb\r\n"},
        {"a lone CR, a byte, an LF", "a\r)\n    b\n", "a\r)\r\n\tb\r\n"},
        {"text after a lone CR is a line of its own", "a\r    b\n", "a\r\tb\r\n"},
        {"NUL is an ordinary byte", std::string("a\0    b\n", 8), std::string("a\0\t  b\r\n", 8)},
    };
    ravolin::test::for_each_scan_path([&] {
        for (const LineEnds ends : {LineEnds::kKept, LineEnds::kTranslated})
        for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{2}}) {
            for (const Raw& c : cases) {
                SCOPED_TRACE(std::string(c.name) + " chunk=" + std::to_string(chunk) +
                             (ends == LineEnds::kKept ? " kept " : " translated ") + ravolin::scan_path());
                EXPECT_EQ(convert(c.in, 4, chunk, ravolin::Encoding::kCp932, ravolin::convert_file, ends).text,
                          c.want);
            }
        }
    });
}

TEST(LineEnds, LongLinesAreConvertedInPieces) {
    // The first piece ends with the first space, the second starts with three
    // spaces at column 0: nothing reaches a stop, the line comes back as it was.
    std::string line = std::string(1998, 'a') + "    b\n";
    auto r = convert(line, 4);
    EXPECT_EQ(r.text, crlf(line));
    EXPECT_EQ(r.tabs, 0);

    // Tab stops in a later piece count from that piece's first byte.
    std::string two = std::string(1999, 'a') + "    b\n";
    EXPECT_EQ(convert(two, 4).text, std::string(1999, 'a') + "\tb\r\n");

    // A CR LF is the LF of the piece it ends, even where it takes the piece
    // one byte past 1999 as stored; so is one that a lead byte takes as its
    // second byte (the comment goes on into the next line).
    std::string stored = std::string(1998, 'a') + "\r\n    b\r\n";
    EXPECT_EQ(convert(stored, 4).text, std::string(1998, 'a') + "\r\n\tb\r\n");
    std::string lead = "//" + std::string(1995, 'c') + "\x81\r\n\"    \"\r\n";
    EXPECT_EQ(convert(lead, 4).text, "//" + std::string(1995, 'c') + "\x81\r\n\"\t \"\r\n");

    // A lead byte that ends a piece is written alone; its second byte starts
    // the next piece. No byte is lost.
    std::string split = std::string(1998, 'x') + kHyo + "  y\n";
    EXPECT_EQ(convert(split, 4).text, crlf(split));

    // A full piece that earns a dot, and a piece of lone-CR lines that each
    // earn one, still fit the output line.
    std::string full = "//" + std::string(1994, 'c') + kHyo + "\n";
    auto f = convert(full, 4);
    EXPECT_EQ(f.dots, 1);
    EXPECT_EQ(f.text, "//" + std::string(1994, 'c') + kHyo + ".\r\n");
    std::string many;
    while (many.size() + 5 < 1999) many += "//" + kHyo + "\r";
    many += "\n";
    auto m = convert(many, 4);
    EXPECT_EQ(m.dots, static_cast<int>(many.size() / 5));
}

TEST(LineEnds, OnlyTheLinesAsked) {
    // The whole file is converted, then each line comes from the conversion
    // or, byte for byte and with its own line end, from the original.
    struct Row {
        const char* name;
        std::string in;
        ravolin::LineRanges lines;
        std::string want;  // as stored
        int tabs, dots, expanded;
        ravolin::Style style;
    };
    const std::string longer = std::string(1999, 'a') + "    b";  // its blanks start the second piece
    const Row rows[] = {
        {"first line, LF ends kept", "    a\n    b\n", {{1, 1}}, "\ta\n    b\n", 1, 0, 0, ravolin::Style::kTabs},
        {"last line without its end", "    a\n    b", {{2, 9}}, "    a\n\tb", 1, 0, 0, ravolin::Style::kTabs},
        {"CR LF ends", "    a\r\n    b\r\n    c\r\n", {{2, 2}}, "    a\r\n\tb\r\n    c\r\n", 1, 0, 0,
         ravolin::Style::kTabs},
        {"lone CR ends a line", "    a\r    b\n", {{2, 2}}, "    a\r\tb\n", 1, 0, 0, ravolin::Style::kTabs},
        {"range starts inside a comment, string after it kept", "/*\n    a\n*/ s = \"    \";    x;\n",
         {{2, 3}}, "/*\n\ta\n*/ s = \"    \";\t  x;\n", 2, 0, 0, ravolin::Style::kTabs},
        {"a line cut into pieces is one line", longer + "\n" + longer + "\n    c\n", {{1, 1}, {3, 3}},
         std::string(1999, 'a') + "\tb\n" + longer + "\n\tc\n", 2, 0, 0, ravolin::Style::kTabs},
        {"a dot belongs to its line", "// " + kHyo + "\n// " + kHyo + "\n", {{2, 2}}, "// " + kHyo + "\n// " + kHyo + ".\n",
         0, 1, 0, ravolin::Style::kTabs},
        {"end-of-text mark kept outside the ranges", "    a\n    b\x1a", {{1, 1}}, "\ta\n    b\x1a", 1, 0, 0,
         ravolin::Style::kTabs},
        {"no lines", "    a\n", {}, "    a\n", 0, 0, 0, ravolin::Style::kTabs},
        {"tabs to spaces", "\ta\n\tb\n", {{2, 2}}, "\ta\n    b\n", 0, 0, 1, ravolin::Style::kExpand},
    };
    for (const Row& r : rows) {
        const std::string converted = convert(r.in, 4, 0, ravolin::Encoding::kCp932, ravolin::convert_file,
                                              LineEnds::kKept, r.style).text;
        // One-byte blocks on either side put every line end across a block.
        for (std::size_t chunk : {std::size_t{0}, std::size_t{1}}) {
            SCOPED_TRACE(std::string(r.name) + " chunk=" + std::to_string(chunk));
            ravolin::MemorySource original(r.in.data(), r.in.size(), chunk);
            ravolin::StringSink out;
            ravolin::LineMerge merge(original, out, r.lines, r.style == ravolin::Style::kExpand);
            const auto* p = reinterpret_cast<const unsigned char*>(converted.data());
            const std::size_t step = chunk ? chunk : converted.size() + 1;
            for (std::size_t i = 0; i < converted.size(); i += step) {
                merge.write(p + i, std::min(step, converted.size() - i));
            }
            ASSERT_TRUE(merge.finish());
            EXPECT_EQ(out.out, r.want);
            EXPECT_EQ(merge.tabs(), r.tabs);
            EXPECT_EQ(merge.dots(), r.dots);
            EXPECT_EQ(merge.expanded(), r.expanded);
        }
    }
}

TEST(LineEnds, LineRangesAsTyped) {
    ravolin::LineRange r{};
    EXPECT_TRUE(ravolin::parse_line_range("3-7", &r));
    EXPECT_EQ(r.first, 3);
    EXPECT_EQ(r.last, 7);
    EXPECT_TRUE(ravolin::parse_line_range("5", &r));
    EXPECT_EQ(r.first, 5);
    EXPECT_EQ(r.last, 5);
    for (const char* bad : {"", "0-3", "7-3", "3-", "-3", "a-b", "1-2-3", "3 -7", "99999999999999999999"}) {
        EXPECT_FALSE(ravolin::parse_line_range(bad, &r)) << bad;
    }
    ravolin::LineRanges joined{{8, 9}, {1, 2}, {3, 4}, {2, 3}};
    ravolin::settle_ranges(joined);
    ASSERT_EQ(joined.size(), 2u);
    EXPECT_EQ(joined[0].last, 4);
    EXPECT_EQ(joined[1].first, 8);
}

}  // namespace

// The vector paths convert 64 bytes at a time where nothing in them needs a
// closer look; wherever such a stretch begins or ends, the result is the one
// the byte-at-a-time path gives. Each case is swept across every alignment
// behind lines of code, in both encodings and with both kinds of line end.
TEST(Windows, EveryAlignmentAsByteAtATime) {
    struct Snippet {
        const char* name;
        std::string text;
    };
    const Snippet snippets[] = {
        {"indentation and inner runs", "        x = 1;      /* c */\n    y  =  2;\n"},
        {"a run before a tab", "    a   \tb;\n"},
        {"comments open and close", "/* a  b */  c  /*/ d  */ e  // f  g\n  h  /**/  i\n"},
        {"a line comment continued", "  x;  // a  b \\\n    c \"  d\n    e;\n"},
        {"a string and a header name", "  s = \"a    b\";  #include <a    b>\n    c;\n"},
        {"a lone CR and a lone LF", "  a  \r  b\n\r\n    c\n"},
        {"double-byte characters", "  /* \x88\x9f  \x88\x9f */  \xb1  \x82\xa0  x;\n"},
        {"a backslash second byte in a comment", "    // \x95\x5c\n    x;\n"},
        {"a lead byte before a line end", "    a \x88\n    b \x88\r\n  c\n"},
        {"a lead byte before a space", "    \x88     x;\n"},
        {"a line longer than a piece", std::string(1990, 'a') + "      b  c     d  e\n"},
        {"UTF-8", "  /* \xe6\x97\xa5\xe6\x9c\xac  */  \xef\xbd\xb1  x;\n"},
    };
    const ravolin::ScanPath was = ravolin::scan_path_in_use();
    for (const ravolin::Encoding enc : {ravolin::Encoding::kCp932, ravolin::Encoding::kUtf8})
    for (const LineEnds ends : {LineEnds::kKept, LineEnds::kTranslated})
    for (const int tab_size : {3, 4, 8})
    for (const Snippet& s : snippets)
    for (int shift = 0; shift < 70; ++shift) {
        const std::string in = std::string(static_cast<std::size_t>(shift), 'a') + "\n" + s.text + s.text +
                               "        int  x;\n" + std::string(150, 'b') + "\n";
        ravolin::use_scan_path(ravolin::ScanPath::kScalar);
        const auto want = convert(in, tab_size, 0, enc, ravolin::convert_file, ends);
        ravolin::test::for_each_scan_path([&] {
            SCOPED_TRACE(std::string(s.name) + " shift=" + std::to_string(shift) + " tab size " +
                         std::to_string(tab_size) + " " + ravolin::scan_path());
            const auto got = convert(in, tab_size, 0, enc, ravolin::convert_file, ends);
            ASSERT_EQ(got.text, want.text);
            ASSERT_EQ(got.tabs, want.tabs);
            ASSERT_EQ(got.dots, want.dots);
        });
    }
    ravolin::use_scan_path(was);
}
