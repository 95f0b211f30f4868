// ravolin-cli's walk, run and report over an in-memory file system: which
// files the arguments name (folders, patterns, recursion, links, version
// control folders, each file once), the report lines and the exit status.
// What needs a real process (option parsing, streams, signals) stays in
// cli_test.sh.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/batch.h"
#include "cli/editorconfig.h"
#include "cli/hazards.h"
#include "cli/filter.h"
#include "cli/output.h"
#include "cli/walk.h"
#include "streams/read_ahead.h"
#include "tests/batch_fake_fs.h"
#include "tests/test_util.h"

namespace ravolin::test {
namespace {

using namespace std::string_literals;
using Files = std::vector<std::pair<std::string, std::string>>;

const std::string kS(1, kFolderSeparator);  // how the walk joins the folders it finds

// The work folder: a.c has nothing to convert, b.c three tabs, sub/c.c two,
// u.h a wide character then two spaces (column 4 in UTF-8, 3 in Shift-JIS).
const Files kFresh = {{"a.c", "x;\n"},
                      {"b.c", "            a;\n"},
                      {"sub/c.c", "        z;\n"},
                      {"-n.h", "    n;\n"},
                      {"u.h", "\xe8\xaa\x9e  u;\r\n"}};

// A tree for -r: version control folders and a link to a folder are left out.
const Files kTree = {{"src/m.c", "    m;\n"},   {"src/lib/l.c", "    l;\n"}, {"src/lib/deep/d.c", "    d;\n"},
                     {"src/.git/g.c", "    g;\n"}, {"src/CVS/v.c", "    v;\n"}, {"other/o.c", "    o;\n"},
                     {"src/link/o.c", "    o;\n"}, {"src/lib/l.h", "int;\n"}};

struct CliRun {
    std::string report;  // LF line ends
    int status = 0;
};

// Gathers and runs as ravolin-cli does, its report read back from a file.
CliRun run_cli(FakeFs& fs, const CliOptions& options) {
    static const std::atomic<bool> never{false};
    std::FILE* report_to = std::tmpfile();
    CliRun r;
    {
        CliOutput out(options.quiet, report_to);
        Report report(out, RunKind::kConvert);
        CliFileList list;
        gather_arguments(fs, options, list, report, never);
        cli_batch(fs, list, options, report, never);
        r.status = exit_status(report.counts);
    }
    std::rewind(report_to);
    for (int c; (c = std::fgetc(report_to)) != EOF;) {
        if (c != '\r') r.report += static_cast<char>(c);
    }
    std::fclose(report_to);
    return r;
}

FakeFs tree(const Files& files) {
    FakeFs fs;
    for (const auto& f : files) fs.add(f.first, f.second);
    if (&files == &kTree) fs.add_dir("src/link", /*link=*/true);
    return fs;
}

TEST(CliRun, ArgumentsReportAndExitStatus) {
    struct Case {
        const char* name;
        std::vector<const char*> args;
        std::string report;
        int status;
        const Files* files = &kFresh;
        bool recursive = false, quiet = false;
        int tab_size = 4;
        std::optional<Encoding> encoding = std::nullopt;
        int runs_before = 0;  // the same run made before this one
        std::string unreadable = "";  // a folder (as kept) whose listing fails part-way
    };
    const std::string kSummary31 = "Converted files = 1 (Total 3 tabs, 0 dots), Non conv. = 1, Refused = 0\n";
    const Case cases[] = {
        {"default pattern", {}, "Non conv.: a.c\nConverted: b.c(3 tabs, 0 dots)\n" + kSummary31, 0},
        {"files in order given", {"b.c", "a.c"}, "Converted: b.c(3 tabs, 0 dots)\nNon conv.: a.c\n" + kSummary31, 0},
        {"a file named twice is taken once", {"a.c", "*.c", "a.c"},
         "Non conv.: a.c\nConverted: b.c(3 tabs, 0 dots)\n" + kSummary31, 0},
        {"the tab size reaches the run", {"b.c"},
         "Converted: b.c(6 tabs, 0 dots)\nConverted files = 1 (Total 6 tabs, 0 dots), Non conv. = 0, Refused = 0\n", 0,
         &kFresh, false, false, 2},
        {"one other folder: bare names", {"sub\\*.c"},
         "Converted: c.c(2 tabs, 0 dots)\nConverted files = 1 (Total 2 tabs, 0 dots), Non conv. = 0, Refused = 0\n", 0},
        {"a folder stands for its *.c", {"sub"},
         "Converted: c.c(2 tabs, 0 dots)\nConverted files = 1 (Total 2 tabs, 0 dots), Non conv. = 0, Refused = 0\n", 0},
        {"two folders: names with folders", {"sub/", "a.c"},
         "Converted: sub/c.c(2 tabs, 0 dots)\nNon conv.: a.c\n"
         "Converted files = 1 (Total 2 tabs, 0 dots), Non conv. = 1, Refused = 0\n",
         0},
        {"missing folder and file", {"gone/*.c", "nothere.c", "b.c"},
         "Error: gone/*.c (no such folder)\nError: nothere.c (no matching file)\nConverted: b.c(3 tabs, 0 dots)\n"
         "Converted files = 1 (Total 3 tabs, 0 dots), Non conv. = 0, Refused = 0, Errors = 2\n",
         1},
        {"a pattern that matches nothing", {"*.none"},
         "Converted files = 0 (Total 0 tabs, 0 dots), Non conv. = 0, Refused = 0\n", 0},
        {"quiet run", {}, "", 0, &kFresh, false, true},
        {"files told by their bytes by default", {"u.h"},
         "Converted: u.h(1 tabs, 0 dots)\nConverted files = 1 (Total 1 tabs, 0 dots), Non conv. = 0, Refused = 0\n", 0},
        {"--encoding=utf-8 for files", {"u.h"},
         "Converted: u.h(1 tabs, 0 dots)\nConverted files = 1 (Total 1 tabs, 0 dots), Non conv. = 0, Refused = 0\n", 0,
         &kFresh, false, false, 4, Encoding::kUtf8},
        {"--encoding=cp932 for files", {"u.h"},
         "Non conv.: u.h\nConverted files = 0 (Total 0 tabs, 0 dots), Non conv. = 1, Refused = 0\n", 0, &kFresh,
         false, false, 4, Encoding::kCp932},
        {"second run, quiet: only the refused", {}, "Refused   : a.c\nRefused   : b.c\n", 1, &kFresh, false, true, 4,
         std::nullopt, 1},
        {"-r: every folder below, no links, no version control", {"src"},
         "Converted: src" + kS + "m.c(1 tabs, 0 dots)\nConverted: src" + kS + "lib" + kS + "l.c(1 tabs, 0 dots)\n" +
             "Converted: src" + kS + "lib" + kS + "deep" + kS + "d.c(1 tabs, 0 dots)\n" +
             "Converted files = 3 (Total 3 tabs, 0 dots), Non conv. = 0, Refused = 0\n",
         0, &kTree, true},
        {"-r with a pattern", {"src/*.h"}, "", 0, &kTree, true, true},
        {"a folder that cannot be read is no empty folder", {"sub"},
         "Error: sub (cannot read folder: I/O error)\n"
         "Converted files = 0 (Total 0 tabs, 0 dots), Non conv. = 0, Refused = 0, Errors = 1\n",
         1, &kFresh, false, false, 4, std::nullopt, 0, "/w/sub/"},
        {"-r: a folder below that cannot be read", {"src"},
         "Error: src" + kS + "lib (cannot read folder: I/O error)\nConverted: src" + kS + "m.c(1 tabs, 0 dots)\n" +
             "Converted: src" + kS + "lib" + kS + "deep" + kS + "d.c(1 tabs, 0 dots)\n" +
             "Converted files = 2 (Total 2 tabs, 0 dots), Non conv. = 0, Refused = 0, Errors = 1\n",
         1, &kTree, true, false, 4, std::nullopt, 0, "/w/src/lib/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFs fs = tree(*c.files);
        CliOptions options;
        options.operands = c.args;
        options.recursive = c.recursive;
        options.quiet = c.quiet;
        options.tab_size = c.tab_size;
        options.encoding = c.encoding;
        if (!c.unreadable.empty()) fs.unreadable_folders = {c.unreadable};
        for (int i = 0; i < c.runs_before; ++i) run_cli(fs, options);
        const CliRun r = run_cli(fs, options);
        EXPECT_EQ(r.report, c.report);
        EXPECT_EQ(r.status, c.status);
    }
}

TEST(CliRun, WhatARunLeavesBehind) {
    // Added in name order: the run keeps the search's order.
    FakeFs fs;
    fs.add("a.c", "x;\n");
    fs.add("a0.c", "x;\0\n"s);
    fs.add("b.c", "            a;\n");
    CliOptions options;
    const CliRun r = run_cli(fs, options);
    EXPECT_EQ(r.report, "Non conv.: a.c\nSkipped   : a0.c (binary)\nConverted: b.c(3 tabs, 0 dots)\n"
                        "Converted files = 1 (Total 3 tabs, 0 dots), Non conv. = 1, Refused = 0, Skipped = 1\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(fs.data("b.c"), "\t\t\ta;\r\n");
    EXPECT_EQ(fs.data("b.c.bak"), "            a;\n");
    // -r leaves version control folders and links to folders alone.
    FakeFs t = tree(kTree);
    options.operands = {"src"};
    options.recursive = true;
    run_cli(t, options);
    EXPECT_EQ(t.data("src/.git/g.c") + t.data("src/CVS/v.c") + t.data("src/link/o.c"), "    g;\n    v;\n    o;\n");
    options.operands = {"src/*.h"};
    run_cli(t, options);
    EXPECT_EQ(t.data("src/lib/l.h"), "int;\r\n");
}

// No limit of 500 files and no log to cut: a line each, whatever the names.
TEST(CliRun, ManyFilesAndLongNames) {
    const std::string long_name(240, '0');
    struct Case {
        const char* name;
        int files;
        std::string suffix;  // after the file's number
        std::string content;
        std::string counts;  // after a converted file's name; "" for Non conv.
        std::string summary;
    };
    const Case cases[] = {
        {"600 files", 600, ".c", "x;\n", "", "Converted files = 0 (Total 0 tabs, 0 dots), Non conv. = 600, Refused = 0\n"},
        {"400 long names", 400, long_name + ".c", "        y;\n", "(2 tabs, 0 dots)",
         "Converted files = 400 (Total 800 tabs, 0 dots), Non conv. = 0, Refused = 0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFs fs;
        for (int i = 1000; i < 1000 + c.files; ++i) fs.add(std::to_string(i) + c.suffix, c.content);
        const CliRun r = run_cli(fs, CliOptions{});
        std::string want;
        const std::string label = c.counts.empty() ? "Non conv.: " : "Converted: ";
        for (int i = 1000; i < 1000 + c.files; ++i) want += label + std::to_string(i) + c.suffix + c.counts + "\n";
        EXPECT_EQ(r.report, want + c.summary);
        int backups = 0;
        for (const auto& f : fs.files) backups += f.first.size() > 4 && f.first.substr(f.first.size() - 4) == ".bak";
        EXPECT_EQ(backups, c.files);
    }
}

// --hazards lists a 0x5C second byte where a byte reader would take it for
// an escape or a separator, and nowhere else.
TEST(CliHazards, PlacesListed) {
    const std::string hyo = "\x95\x5c", a = "\x82\xa0";
    const std::string tail = ": second byte 0x5C reads as a backslash where the file is not read as code page 932\n";
    struct Case {
        const char* name;
        std::string text;
        std::string listed;  // after "h.c:"
        std::optional<Encoding> encoding = std::nullopt;
    };
    const Case cases[] = {
        {"string literal, line and column", "x;\n  s = \"" + a + hyo + "\";\n",
         "2:10: warning: \"\xe8\xa1\xa8\" in a string literal" + tail},
        {"character constant", "c = '\x83\x5c';\n", "1:6: warning: \"\xe3\x82\xbd\" in a character constant" + tail},
        {"header name", "#include <\x94\x5c.h>\n", "1:11: warning: \"\xe8\x83\xbd\" in a header name" + tail},
        {"no character of its own", "s = \"\x85\x5c\";\n", "1:6: warning: \"\\x85\\x5C\" in a string literal" + tail},
        {"comments, raw literals and code are no place", "// " + hyo + "\n/* " + hyo + " */ t = R\"(" + hyo + ")\";\n", ""},
        {"a UTF-8 file has none", "s = \"\xe8\xa1\xa8\\\";\n", ""},
        {"nor one read as UTF-8", "s = \"" + hyo + "\";\n", "", Encoding::kUtf8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFs fs;
        fs.add("h.c", c.text);
        CliOptions options;
        options.mode = CliMode::kHazards;
        options.encoding = c.encoding;
        options.operands = {"h.c"};
        static const std::atomic<bool> never{false};
        std::FILE* report_to = std::tmpfile();
        testing::internal::CaptureStdout();
        int status;
        {
            CliOutput out(false, report_to);
            Report report(out, RunKind::kCheck);
            CliFileList list;
            gather_arguments(fs, options, list, report, never);
            cli_hazards(fs, list, options, out, report, never);
            status = exit_status(report.counts);
        }
        std::string listed = testing::internal::GetCapturedStdout();
        std::fclose(report_to);
        listed.erase(std::remove(listed.begin(), listed.end(), '\r'), listed.end());
        EXPECT_EQ(listed, c.listed.empty() ? "" : "h.c:" + c.listed);
        EXPECT_EQ(status, c.listed.empty() ? 0 : 1);
    }
}

// The reference library reads real files: each case is a tree of
// .editorconfig files in a fresh folder, and the style of one file in it.
TEST(CliEditorConfig, StyleOfAFile) {
    if (!editorconfig_supported()) GTEST_SKIP() << "this build reads no .editorconfig";
    struct Case {
        const char* name;
        Files configs;  // .editorconfig files, by folder
        const char* file;
        int tab_size;
        bool spaces;
    };
    const Case cases[] = {
        {"tab_width", {{"", "[*.c]\ntab_width = 8\n"}}, "a.c", 8, false},
        {"indent_size when no tab_width", {{"", "[*]\nindent_size = 2\nindent_style = tab\n"}}, "a.c", 2, false},
        {"indent_style = space", {{"", "[*.{c,h}]\nindent_style = space\n"}}, "a.h", 0, true},
        {"a glob that does not match", {{"", "[*.py]\ntab_width = 8\n"}}, "a.c", 0, false},
        {"the nearer file wins", {{"", "[*]\ntab_width = 8\n"}, {"sub/", "[*]\ntab_width = 3\n"}}, "sub/a.c", 3, false},
        {"root = true stops the search",
         {{"", "[*]\nindent_style = space\n"}, {"sub/", "root = true\n[*]\ntab_width = 5\n"}}, "sub/a.c", 5, false},
        {"out of range is not said", {{"", "[*]\ntab_width = 99\n"}}, "a.c", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path root = std::filesystem::temp_directory_path() / ("ravolin-ec-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + c.name);
        std::filesystem::remove_all(root);
        for (const auto& f : c.configs) {
            std::filesystem::create_directories(root / f.first);
            std::ofstream(root / f.first / ".editorconfig") << f.second;
        }
        std::filesystem::create_directories((root / c.file).parent_path());
        std::ofstream(root / c.file) << "x;\n";
        EditorStyle style;
        std::string error;
        EXPECT_TRUE(editorconfig_style((root / c.file).string().c_str(), &style, &error)) << error;
        EXPECT_EQ(style.tab_size, c.tab_size);
        EXPECT_EQ(style.spaces, c.spaces);
        std::filesystem::remove_all(root);
    }
}

// The filter checks as a run does and never changes what it cannot convert:
// what is out stays, the rest of standard input follows as it came.
TEST(Filter, ChecksAndPassesTheRestThrough) {
    const std::string many = [] {
        std::string t;
        for (int i = 0; i < 30000; ++i) t += "    x;\n";  // well past a block and the check's buffers
        return t;
    }();
    const std::string quote = "char q = '\"'; const char *s = \"a        b\";\n";
    struct Case {
        const char* name;
        std::string in;
        std::optional<Encoding> encoding;
        FilterResult::Kind kind;
        std::string want;  // empty: the input as it came
    };
    const Case cases[] = {
        {"text converts", "int     x;\n", {}, FilterResult::kConverted, "int\t\tx;\r\n"},
        {"raw literal and header name kept", "#include <a    b.h>\ns = R\"(\"    \")\";\n", {},
         FilterResult::kConverted, "#include <a    b.h>\r\ns = R\"(\"    \")\";\r\n"},
        {"one Ctrl-Z at the very end", "    x;\n\x1a", {}, FilterResult::kConverted, "\tx;\r\n"},
        {"a literal would change", quote, {}, FilterResult::kCheckFailed, ""},
        {"a NUL byte", "    a;\n\0    b;\n"s, {}, FilterResult::kBinary, ""},
        {"data after a Ctrl-Z", "    a;\n\x1a    b;\n", {}, FilterResult::kBinary, ""},
        {"neither UTF-8 nor code page 932", "a = \"\xE9\", *s = \"x        y\";\n", {}, FilterResult::kUnclear, ""},
        {"named code page 932, the check holds", "a = \"\xE9\", *s = \"x        y\";\n", Encoding::kCp932,
         FilterResult::kCheckFailed, ""},
    };
    for (std::size_t chunk : {std::size_t{0}, std::size_t{7}}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " chunk=" + std::to_string(chunk));
            MemorySource in(c.in.data(), c.in.size(), chunk);
            StringSink out;
            auto filter = std::make_unique<CheckedFilter>();
            const FilterResult r = filter->run(in, out, 4, c.encoding);
            EXPECT_EQ(r.kind, c.kind) << filter_message(r);
            EXPECT_EQ(out.out, c.want.empty() ? c.in : c.want);
            if (c.kind != FilterResult::kConverted) {
                EXPECT_EQ(r.from_line, 1u);
            }
        }
    }
    // Far into the input: the lines before are out converted, the line named,
    // the rest as it came. The converter runs ahead of the check: what it
    // finds further on (a NUL) neither hides the check's failure nor loses
    // the blocks it had ready.
    for (const std::string& in : {many + quote + many, many + quote + many.substr(0, 70000) + "\0"s}) {
        MemorySource src(in.data(), in.size());
        StringSink out;
        auto filter = std::make_unique<CheckedFilter>();
        const FilterResult r = filter->run(src, out, 4, std::nullopt);
        EXPECT_EQ(r.kind, FilterResult::kCheckFailed) << filter_message(r);
        EXPECT_EQ(r.line, 30001u);
        ASSERT_GT(r.from_line, 1u);
        ASSERT_LE(r.from_line, 30001u);
        std::size_t split = 0;
        for (unsigned long long line = 1; line < r.from_line; ++line) split = in.find('\n', split) + 1;
        EXPECT_TRUE(out.out == convert(in.substr(0, split), 4).text + in.substr(split));
    }
    // One filter for run after run: what a run that stopped early left
    // behind (blocks, a writer half full) is taken up again afresh.
    {
        auto filter = std::make_unique<CheckedFilter>();
        for (const std::string& in : {many + quote + many, many, many + quote + many, many}) {
            MemorySource src(in.data(), in.size());
            StringSink out;
            const FilterResult r = filter->run(src, out, 4, std::nullopt);
            EXPECT_EQ(r.kind, in == many ? FilterResult::kConverted : FilterResult::kCheckFailed);
            if (in == many) {
                EXPECT_TRUE(out.out == convert(many, 4).text);
            }
        }
    }
    // Output that fails while the converter is blocks ahead ends the run.
    struct FullSink : ByteSink {
        bool write(const unsigned char*, std::size_t n) override { return (room -= std::min(room, n)) > 0; }
        std::size_t room = 100000;
    } full;
    const std::string in = many + many;
    MemorySource src(in.data(), in.size());
    auto filter = std::make_unique<CheckedFilter>();
    EXPECT_EQ(filter->run(src, full, 4, std::nullopt).kind, FilterResult::kWriteError);
}

// Over a read-ahead (with a thread of its own, or read ahead by the check)
// the input is read straight into the filter's own blocks: the same output
// and the same result as over the input itself,
// where it converts, where the check fails far in and where a NUL comes
// blocks after the start.
TEST(Filter, ReadsIntoItsBlocksThroughAReadAhead) {
    std::string many;
    for (int i = 0; i < 100000; ++i) many += i % 7 ? "    x;\n" : "\tint  \xE3\x81\x82   y;\n";
    const std::string quote = "char q = '\"'; const char *s = \"a        b\";\n";
    for (const bool own_thread : {true, false})
    for (const std::string& in : {many, many + quote + many, many + "\0"s + many, "\x1a"s + many}) {
        MemorySource direct(in.data(), in.size()), inner(in.data(), in.size());
        StringSink want, got;
        const FilterResult a = std::make_unique<CheckedFilter>()->run(direct, want, 4, std::nullopt);
        ReadAheadSource ahead(inner, own_thread);
        const FilterResult b = std::make_unique<CheckedFilter>()->run(ahead, got, 4, std::nullopt);
        EXPECT_EQ(b.kind, a.kind) << filter_message(b);
        EXPECT_EQ(b.line, a.line);
        EXPECT_EQ(b.from_line, a.from_line);
        EXPECT_TRUE(got.out == want.out);
    }
}

}  // namespace
}  // namespace ravolin::test
