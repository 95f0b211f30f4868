// The engine against GNU expand: on C-like text whose tabs are meant for the
// tab size, whose lines are shorter than a piece and that earns no dot,
// expanding the output gives the expanded input (string literals are left
// alone by the engine, so they expand the same on both sides).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "tests/test_util.h"

namespace {

// C-like text: identifiers, operators, string literals with space runs,
// block and line comments, runs of spaces and tabs, double-byte characters
// (never one whose second byte is a backslash, so no dot goes in).
std::string make_text(std::mt19937& rng) {
    static const char* tokens[] = {
        "int", "x", "=", "42;", "(", ")", "{", "}", "return", "\"a  b\"", "\"  \\\"  \"", "'\"'", "'\\\"'",
        "/*", "*/", "//", "/* c   d */", "\\", "\\\\", "\x82\xa0", "\x88\x9f", "\xb1", "*", "/", "a/b", "\"\t\"",
    };
    std::uniform_int_distribution<int> n_lines(1, 60), n_items(0, 14), pick(0, 99);
    std::uniform_int_distribution<int> tok(0, sizeof tokens / sizeof *tokens - 1), run(1, 13);
    std::string s;
    for (int l = n_lines(rng); l > 0; --l) {
        for (int k = n_items(rng); k > 0; --k) {
            int p = pick(rng);
            if (p < 40) s.append(static_cast<std::size_t>(run(rng)), ' ');
            else if (p < 48) s += '\t';
            else s += tokens[tok(rng)];
        }
        s += '\n';
    }
    return s;
}

std::string expand(const std::string& text, int tab_size) {
    char in_name[] = "/tmp/ravolin-expand-XXXXXX";
    int fd = mkstemp(in_name);
    if (fd < 0) return "<mkstemp failed>";
    FILE* f = fdopen(fd, "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    std::string cmd = "LC_ALL=C expand -t " + std::to_string(tab_size) + " " + in_name;
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    std::remove(in_name);
    return out;
}

std::string strip_cr(const std::string& s) {
    std::string r;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) r += s[i];
    return r;
}

TEST(EngineProperty, ExpandedOutputEqualsExpandedInput) {
    if (std::system("expand --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "GNU expand not found";
    std::mt19937 rng(20261208);
    for (int tab_size : {1, 4, 8, 40}) {
        for (int round = 0; round < 40; ++round) {
            std::string in = make_text(rng);
            auto r = ravolin::test::convert(in, tab_size);
            ASSERT_EQ(r.dots, 0);
            std::string out = strip_cr(r.text);
            ASSERT_EQ(expand(out, tab_size), expand(in, tab_size))
                << "tab size " << tab_size << "\ninput:\n" << in << "\noutput:\n" << out;
            if (r.tabs > 0) {
                ASSERT_NE(out, in);
            }
        }
    }
}

// A source that lends its bytes (the filter's read-ahead) must give what a
// copying one gives, wherever its blocks end: in a piece, in a CR LF, just
// before or after a whole piece's worth. Long texts, so that a block is read
// in place as well as through the reader's own buffer where blocks meet.
TEST(EngineProperty, LentBlocksReadAsCopiedOnes) {
    std::mt19937 rng(20261209);
    for (int round = 0; round < 12; ++round) {
        std::string in;
        while (in.size() < 30000) in += make_text(rng);
        for (std::size_t i = 0; i < in.size(); i += 97) {
            if (in[i] == '\n' && round % 2) in.insert(i, 1, '\r');  // CR LF in half the texts
            if (in[i] == ' ' && i % 7 == 0) in[i] = '\r';            // lone CRs
        }
        in += std::string(5000, 'x');  // one line longer than a piece
        if (round % 3 == 0) in += "\x1a after the end";
        const auto want = ravolin::test::convert(in, 4);
        for (std::size_t block : {std::size_t{1}, std::size_t{7}, std::size_t{1998}, std::size_t{1999},
                                  std::size_t{2000}, std::size_t{4097}, std::size_t{0}}) {
            SCOPED_TRACE("round " + std::to_string(round) + " block " + std::to_string(block));
            const auto got = ravolin::test::convert_lent(in, 4, block);
            ASSERT_EQ(got.text, want.text);
            ASSERT_EQ(got.tabs, want.tabs);
        }
    }
}

}  // namespace
