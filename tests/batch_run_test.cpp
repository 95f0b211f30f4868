// The batch run through its file-system seam, over an in-memory folder whose
// operations can be made to fail: tab size, gathering, folder handling, the
// report texts, and what each fault leaves on disk.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "batch/temp_name.h"

#include "batch/wildcard.h"
#include "tests/batch_fake_fs.h"
#include "tests/batch_test_util.h"

namespace ravolin::test {
namespace {

using namespace std::string_literals;

const std::string kHyo = "\x95\x5c";  // second byte is a backslash: a dot goes in after it
const std::string kFiveTabsOneDot = std::string(20, ' ') + "x;\n// " + kHyo + "\n";
const std::string kThreeTabs = std::string(12, ' ') + "y;\n";
const std::string kPlain = "z;\n";

// The file lines of a run's report (summary dropped).
std::vector<std::string> file_lines(const RunResult& r) {
    const std::string text = r.outcome == RunOutcome::kFinished ? r.result.substr(r.result.find("\r\n") + 2) : r.log;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

TEST(BatchTabSize, TabSizeReachesTheConversion) {
    // Spaces from column 1 to column 46: the tab count tells the tab size.
    const std::string text = "a" + std::string(45, ' ') + "b\n";
    for (int size : {1, 8, 40}) {
        SCOPED_TRACE(size);
        FakeFs fs;
        fs.add("a.c", text);
        const Converted want = convert(text, size);
        RunResult r = run(fs, "*.c", size);
        EXPECT_EQ(fs.data("a.c"), want.text);
        EXPECT_EQ(r.counts.tabs, want.tabs);
    }
}

TEST(BatchGathering, WhichEntriesAreListed) {
    struct Case {
        const char* name;
        std::vector<std::string> files, dirs;
        const char* wildcard_path;
        std::vector<std::string> handled;  // in the search's order
    };
    const Case cases[] = {
        // name                     files                                dirs               wildcard_path    handled
        {"backups skipped", {"b.c", "notes.bak", "a.c"}, {}, "*", {"b.c", "a.c"}},
        {"suffix test is on bytes", {"NOTES.BAK", "x.Bak", "y.bak.c"}, {}, "*", {"NOTES.BAK", "x.Bak", "y.bak.c"}},
        {"folders skipped", {"a.c"}, {".", "..", "dir.c"}, "*", {"a.c"}},
        {"search order kept", {"z.c", "a.c", "m.c"}, {}, "*.c", {"z.c", "a.c", "m.c"}},
        {"pattern applies", {"a.c", "a.h", "b.cpp"}, {}, "*.c", {"a.c"}},
        {"name just .bak skipped", {".bak", "bak"}, {}, "*", {"bak"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFs fs;
        for (const std::string& d : c.dirs) fs.add_dir(d);
        for (const std::string& f : c.files) fs.add(f, kPlain);
        RunResult r = run(fs, c.wildcard_path);
        std::string want_log;
        for (const std::string& f : c.handled) want_log += "Non conv.: " + f + "\r\n";
        EXPECT_EQ(r.result.substr(r.result.find("\r\n") + 2), want_log);
        EXPECT_EQ(r.counts.non_converted, static_cast<int>(c.handled.size()));
    }
}

TEST(BatchGathering, SixHundredFilesGiveTheFirstFiveHundred) {
    FakeFs fs;
    for (int i = 0; i < 600; ++i) fs.add("f" + std::to_string(1000 + i) + ".c", kPlain);
    RunResult r = run(fs, "*.c");
    EXPECT_EQ(r.counts.non_converted, 500);
    // The report says what was not looked at, right under the summary.
    const std::size_t second = r.result.find("\r\n") + 2;
    EXPECT_EQ(r.result.substr(second, r.result.find("\r\n", second) + 2 - second),
              "Left out  : 100 more files (a window run takes 500; ravolin-cli has no such limit)\r\n");
    EXPECT_TRUE(fs.has("f1499.c.bak"));
    EXPECT_FALSE(fs.has("f1500.c.bak"));
    EXPECT_EQ(fs.data("f1500.c"), kPlain);
}

// A file's line comes once it is in place, which may be after later files
// were announced: converted files are flushed to disk a group at a time.
TEST(BatchProgress, EachFileIsAnnouncedBeforeItsLine) {
    struct Recorder : RunSink {
        void file(const FileEvent& e) override {
            char line[200];
            format_file_line(e, line, sizeof line);
            seen += line;
        }
        void summary(const RunCounts&) override {}
        void starting(int index, int count, const char* name) override {
            seen += std::to_string(index) + "/" + std::to_string(count) + " " + name + "\n";
        }
        std::string seen;
    };
    FakeFs fs;
    fs.add("a.c", kPlain);
    fs.add("b.c", kThreeTabs);
    Recorder sink;
    const std::atomic<bool> never{false};
    BatchRun batch;
    RunInput input;
    input.wildcard_path = "*.c";
    Report report(sink, RunKind::kConvert);
    batch.run(fs, input, report, never);
    EXPECT_EQ(sink.seen, "0/2 a.c\n1/2 b.c\nNon conv.: a.c\r\nConverted: b.c(3 tabs, 0 dots)\r\n");
}

// Searches other than for leftover temporary files, as "FOLDER|PATTERN".
std::vector<std::string> file_searches(const FakeFs& fs) {
    std::vector<std::string> searches;
    for (const std::string& s : fs.searches) {
        if (s.substr(s.find('|') + 1) != kTempPattern) searches.push_back(s);
    }
    return searches;
}

TEST(BatchFolder, NamePartIsSearchedInTheFolderPart) {
    struct Case {
        const char* wildcard_path;
        bool drive_letters;
        std::vector<std::string> searches;  // "FOLDER|PATTERN", the folder made absolute
    };
    const Case cases[] = {
        // wildcard_path               drives  searched
        {".\\*.c", false, {"/w/|*.c"}},
        {"./*.c", false, {"/w/|*.c"}},
        {"D:\\src\\*.c", true, {"D:/src/|*.c"}},
        {"sub\\*.c", false, {"/w/sub/|*.c"}},
        {"sub/deeper\\*.c", false, {"/w/sub/deeper/|*.c"}},
        {"/abs/src/*.c", false, {"/abs/src/|*.c"}},
        {"*.c", false, {"|*.c"}},
        {"D:*.c", true, {"D:/|*.c"}},
        {"D:*.c", false, {"|D:*.c"}},
        {"D:\\src\\", true, {"D:/src/|"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wildcard_path);
        FakeFs fs;
        fs.drive_letters = c.drive_letters;
        for (const char* folder : {"sub/deeper", "/abs/src", "D:/src"}) fs.add_dir(folder);
        fs.add("a.c", kPlain);
        run(fs, c.wildcard_path);
        EXPECT_EQ(file_searches(fs), c.searches);
    }
    // The files of "sub" are found, converted in their folder and reported
    // by their names.
    FakeFs fs;
    fs.add("sub/a.c", kThreeTabs);
    fs.add("a.c", kPlain);
    RunResult r = run(fs, "sub\\*.c");
    EXPECT_EQ(file_lines(r), std::vector<std::string>{"Converted: a.c(3 tabs, 0 dots)"});
    EXPECT_TRUE(fs.has("sub/a.c.bak"));
    EXPECT_EQ(fs.data("a.c"), kPlain);
}

TEST(BatchFolder, SecondByteOfAShiftJisNameIsNoSeparator) {
    const std::string hyo = kHyo, so = "\x83\x5c";  // ソ ends in 0x5C too
    struct Case {
        std::string wildcard_path;
        std::vector<std::string> searches;
    };
    const Case cases[] = {
        // wildcard_path            searched
        {hyo + "*.c",               {"|" + hyo + "*.c"}},
        {"sub\\" + so + "*.c",      {"/w/sub/|" + so + "*.c"}},
        {"Z:\\x\\" + hyo + "\\*.c", {"Z:/x/" + hyo + "/|*.c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wildcard_path);
        FakeFs fs;
        fs.code_page_932 = true;
        fs.drive_letters = true;
        fs.add_dir("sub");
        fs.add_dir("Z:/x/" + hyo);
        run(fs, c.wildcard_path);
        EXPECT_EQ(fs.searches, c.searches);
    }
    // The whole run: 表a.c and 表b.c beside a folder 表 are converted.
    FakeFs fs;
    fs.code_page_932 = true;
    fs.add(hyo + "a.c", kFiveTabsOneDot);
    fs.add(hyo + "b.c", kFiveTabsOneDot);
    fs.add_dir(hyo);
    RunResult r = run(fs, hyo + "*.c");
    EXPECT_EQ(r.counts.converted, 2);
    EXPECT_TRUE(fs.has(hyo + "a.c.bak"));
    EXPECT_TRUE(fs.has(hyo + "b.c.bak"));
}

TEST(BatchFolder, UnusableWildcardPathsConvertNothing) {
    const std::string long_path = std::string(1006, 'd') + "\\*.c";  // 1010 characters
    struct Case {
        const char* name;
        std::string wildcard_path;
    };
    const Case cases[] = {
        // name                 wildcard_path
        {"no such folder", "gone\\*.c"},
        {"longer than the path buffer", long_path},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFs fs;
        fs.add_dir(std::string(1006, 'd'));
        fs.add("a.c", kFiveTabsOneDot);
        RunResult r = run(fs, c.wildcard_path);
        EXPECT_EQ(r.outcome, RunOutcome::kFinished);
        EXPECT_TRUE(fs.searches.empty()) << "nothing may be searched";
        EXPECT_EQ(r.result, "Converted files = 0 (Total 0 tabs, 0 dots), Non conv. = 0, Refused = 0, Errors = 1\r\n"
                            "Error: " + c.wildcard_path + "\r\n");
        EXPECT_EQ(r.counts.errors, 1);
        EXPECT_EQ(fs.data("a.c"), kFiveTabsOneDot);
        EXPECT_FALSE(fs.has("a.c.bak"));
    }
}

TEST(BatchFolder, WildcardPathThatJustFitsIsUsed) {
    // The paths the run makes in the folder (a temporary name) still fit.
    const std::string folder = "/" + std::string(980, 'd') + "\\";
    const std::string pattern = std::string(1009 - folder.size() - 3, '*') + "a.c";
    FakeFs fs;
    fs.add(folder + "a.c", kPlain);
    RunResult r = run(fs, folder + pattern);
    EXPECT_EQ(file_searches(fs), std::vector<std::string>{"/" + std::string(980, 'd') + "/|" + pattern});
    EXPECT_EQ(r.counts.non_converted, 1);
}

TEST(BatchReport, TextsByteForByte) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;
        std::string result;
    };
    const Case cases[] = {
        {"nothing matches", {}, "Converted files = 0 (Total 0 tabs, 0 dots), Non conv. = 0, Refused = 0\r\n"},
        {"two converted and one not",
         {{"b.c", kFiveTabsOneDot}, {"a.c", kThreeTabs}, {"c.c", kPlain}},
         "Converted files = 2 (Total 8 tabs, 1 dots), Non conv. = 1, Refused = 0\r\n"
         "Converted: b.c(5 tabs, 1 dots)\r\n"
         "Converted: a.c(3 tabs, 0 dots)\r\n"
         "Non conv.: c.c\r\n"},
        {"one of each count",
         {{"x.c", std::string(4, ' ') + "x;\n"}},
         "Converted files = 1 (Total 1 tabs, 0 dots), Non conv. = 0, Refused = 0\r\n"
         "Converted: x.c(1 tabs, 0 dots)\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFs fs;
        for (const auto& f : c.files) fs.add(f.first, f.second);
        RunResult r = run(fs, ".\\*.c");
        EXPECT_EQ(r.outcome, RunOutcome::kFinished);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.log, "") << "the run log is cleared at the end";
        for (const auto& f : c.files) {
            EXPECT_EQ(fs.data(f.first), converted(f.second)) << f.first;
            EXPECT_EQ(fs.data(f.first + ".bak"), f.second) << f.first << ".bak";
        }
    }
}

TEST(BatchReport, SecondRunRefusesEveryFileAndChangesNone) {
    FakeFs fs;
    fs.add("b.c", kFiveTabsOneDot);
    fs.add("a.c", kThreeTabs);
    run(fs, "*.c");
    const auto after_first = fs.files;
    RunResult r = run(fs, "*.c");
    EXPECT_EQ(r.result,
              "Converted files = 0 (Total 0 tabs, 0 dots), Non conv. = 0, Refused = 2\r\n"
              "Refused   : b.c\r\n"
              "Refused   : a.c\r\n");
    EXPECT_EQ(r.counts.refused, 2);
    for (const auto& f : after_first) EXPECT_EQ(fs.data(f.first), f.second.data) << f.first;
}

TEST(BatchReport, FullRunLogEndsWithMarkerAndCountsEveryFile) {
    FakeFs fs;
    for (int i = 0; i < 500; ++i) fs.add(std::to_string(1000 + i) + std::string(240, 'n') + ".c", kThreeTabs);
    RunResult r = run(fs, "*.c");
    EXPECT_EQ(r.counts.converted, 500);
    ASSERT_LT(r.result.size(), kTextSize);
    const std::string marker = "(log truncated)\r\n";
    ASSERT_GE(r.result.size(), marker.size());
    EXPECT_EQ(r.result.substr(r.result.size() - marker.size()), marker);
    EXPECT_EQ(r.result.rfind("Converted files = 500 (Total 1500 tabs, 0 dots), Non conv. = 0, Refused = 0\r\n", 0),
              0u);
    // Every line before the marker is whole.
    const std::string body = r.result.substr(0, r.result.size() - marker.size());
    std::size_t lines = 0;
    for (std::size_t at = 0; at < body.size(); ++lines) {
        std::size_t end = body.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        if (lines > 0) { EXPECT_EQ(body.compare(at, 11, "Converted: "), 0); }
        at = end + 2;
    }
    EXPECT_GT(lines, 100u);
    EXPECT_EQ(r.log, "");
}

using Op = FakeFs::Op;

// The line about name, or "" when there is none.
std::string line_about(const std::vector<std::string>& lines, const std::string& name) {
    for (const std::string& l : lines) {
        const std::size_t colon = l.find(": ");
        if (colon != std::string::npos && l.compare(colon + 2, name.size(), name) == 0) return l;
    }
    return "";
}

bool says_done(const std::string& line) {
    return line.rfind("Converted: ", 0) == 0 || line.rfind("Non conv.: ", 0) == 0;
}

using Files = std::vector<std::pair<std::string, std::string>>;

// Each file is its original without a backup, or its conversion with a
// backup that holds the original; its report line says which.
void expect_each_whole(FakeFs& fs, const Files& files, const RunResult& r) {
    const std::vector<std::string> lines = file_lines(r);
    for (const auto& [name, original] : files) {
        SCOPED_TRACE(name);
        const bool done = fs.data(name) == converted(original);
        EXPECT_TRUE(done || fs.data(name) == original);
        EXPECT_EQ(fs.has(name + ".bak"), done);
        if (fs.has(name + ".bak")) { EXPECT_EQ(fs.data(name + ".bak"), original); }
        EXPECT_EQ(says_done(line_about(lines, name)), done) << line_about(lines, name);
    }
}

const Files kThreeFiles = {
    {"a.c", std::string(4500, ' ') + "x;\n" + kThreeTabs}, {"b.c", kFiveTabsOneDot}, {"c.c", kPlain}};

FakeFs three_files() {
    FakeFs fs;
    fs.read_chunk = 1000;  // several reads per file
    for (const auto& f : kThreeFiles) fs.add(f.first, f.second);
    return fs;
}

TEST(BatchFaults, AnyOperationFailingOrCancellingLeavesEachFileWhole) {
    long total = 0;
    {
        FakeFs fs = three_files();
        run(fs, "*.c");
        total = fs.ops;
    }
    ASSERT_GT(total, 30);
    struct Kind {
        const char* name;
        FsError error;
        bool cancel;
        bool kill = false;  // the process dies there: nothing is cleaned up
    };
    const Kind kinds[] = {
        {"no space", FsError::kNoSpace, false},
        {"I/O error", FsError::kIo, false},
        {"access denied", FsError::kAccessDenied, false},
        {"cancel", FsError::kNone, true},
        {"kill", FsError::kNone, false, true},
    };
    for (const Kind& kind : kinds) {
        int aborted = 0;
        for (long k = 1; k <= total; ++k) {
            SCOPED_TRACE(std::string(kind.name) + " at operation " + std::to_string(k));
            std::atomic<bool> cancel{false};
            FakeFs fs = three_files();
            fs.fault = FakeFs::Fault{Op::kAny, k, kind.error, false, kind.cancel};
            fs.fault.kill = kind.kill;
            fs.cancel_target = &cancel;
            if (kind.kill) {
                try {
                    run(fs, "*.c");
                } catch (const FakeFs::Killed&) {
                    fs.restart();
                }
                // Each file whole; a backup, even beside the original, the original.
                int done = 0;
                for (const auto& [name, original] : kThreeFiles) {
                    EXPECT_TRUE(fs.data(name) == original || fs.data(name) == converted(original)) << name;
                    if (fs.has(name + ".bak")) { EXPECT_EQ(fs.data(name + ".bak"), original) << name; }
                    done += fs.data(name) == converted(original) && fs.has(name + ".bak");
                }
                // The next run finishes what the killed one began: only a
                // file already converted is refused.
                fs.fault = FakeFs::Fault{};
                RunResult again = run(fs, "*.c");
                EXPECT_EQ(again.counts.refused, done);
                for (const auto& f : kThreeFiles) {
                    EXPECT_EQ(fs.data(f.first), converted(f.second)) << f.first;
                    EXPECT_EQ(fs.data(f.first + ".bak"), f.second) << f.first;
                }
                EXPECT_EQ(fs.temps(), std::vector<std::string>{});
                continue;
            }
            RunResult r = run(fs, "*.c", 4, &cancel);
            expect_each_whole(fs, kThreeFiles, r);
            const std::vector<std::string> lines = file_lines(r);
            if (!lines.empty() && lines.back().rfind("Aborted   : ", 0) == 0) {
                ++aborted;
                EXPECT_EQ(r.outcome, RunOutcome::kCancelled);
                const std::string name = lines.back().substr(12, 3);
                EXPECT_EQ(lines.back(), "Aborted   : " + name + " (left as it was)");
            }

            // Without the fault, the next run converts whatever was left and
            // removes what the first left behind.
            fs.fault = FakeFs::Fault{};
            RunResult again = run(fs, "*.c");
            for (const auto& f : kThreeFiles) EXPECT_EQ(fs.data(f.first), converted(f.second)) << f.first;
            EXPECT_EQ(fs.temps(), std::vector<std::string>{});
        }
        if (kind.cancel) { EXPECT_GT(aborted, 10); }
    }
}

// The report line and what stays on disk, per kind of fault in the first
// file; the second file converts either way.
TEST(BatchFaults, EachFaultReportsAndLeavesTheOriginal) {
    struct Case {
        const char* name;
        FakeFs::Fault fault;
        const char* line;
    };
    const Case cases[] = {
        // name                          fault: op, nth, error                  the first file's line
        {"disk full while converting", {Op::kWrite, 1, FsError::kNoSpace}, "Error: a.c"},
        {"backup copy unreadable", {Op::kRead, 2, FsError::kIo}, "Error: a.c"},
        {"lost bytes seen at close", {Op::kClose, 1, FsError::kIo}, "Error: a.c"},
        {"flush to disk fails", {Op::kFlush, 2, FsError::kIo}, "Error: a.c"},
        {"file is read-only", {Op::kRenameReplace, 1, FsError::kAccessDenied}, "Error: a.c"},
        {"a backup appeared meanwhile", {Op::kRenameNew, 1, FsError::kExists}, "Refused   : a.c"},
        // Only an existing backup refuses a file; the others say why.
        {"backup copy: disk full", {Op::kCopy, 1, FsError::kNoSpace}, "Error: a.c (backup: no space)"},
        {"backup copy: folder read-only", {Op::kCopy, 1, FsError::kAccessDenied},
         "Error: a.c (backup: folder not writable)"},
        {"file not readable", {Op::kCopy, 1, FsError::kAccessDenied, false, false, true},
         "Error: a.c (backup: access denied)"},
        {"file held by another program", {Op::kCopy, 1, FsError::kInUse, false, false, true},
         "Error: a.c (backup: file in use)"},
        {"file read error", {Op::kCopy, 1, FsError::kIo, false, false, true}, "Error: a.c (backup: cannot read file)"},
        {"backup flush fails", {Op::kFlush, 1, FsError::kIo}, "Error: a.c (backup: I/O error)"},
        {"backup cannot be named", {Op::kRenameNew, 1, FsError::kAccessDenied},
         "Error: a.c (backup: folder not writable)"},
        {"backup name too long", {Op::kStat, 1, FsError::kNameTooLong}, "Error: a.c (backup: name too long)"},
        {"name the system cannot open", {Op::kStat, 1, FsError::kBadName},
         "Error: a.c (cannot open: name not valid on this system)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFs fs = three_files();
        fs.fault = c.fault;
        RunResult r = run(fs, "*.c");
        const std::vector<std::string> lines = file_lines(r);
        EXPECT_EQ(line_about(lines, "a.c"), c.line);
        EXPECT_EQ(fs.data("a.c"), kThreeFiles[0].second);
        EXPECT_FALSE(fs.has("a.c.bak"));
        EXPECT_EQ(fs.data("b.c"), converted(kFiveTabsOneDot));
        EXPECT_EQ(fs.temps(), std::vector<std::string>{});
        EXPECT_EQ(r.counts.converted, 1);
        EXPECT_EQ(r.counts.non_converted, 1);
        EXPECT_EQ(r.counts.refused + r.counts.errors, 1);
    }
}

TEST(BatchFaults, NameWithoutRoomForItsBackupNameIsAnError) {
    const std::string name = std::string(1004, 'n') + ".c";  // fits; with ".bak" it is 1010 characters
    FakeFs fs;
    fs.add(name, kThreeTabs);
    RunResult r = run(fs, "*.c");
    EXPECT_EQ(file_lines(r), std::vector<std::string>{"Error: " + name + " (backup: name too long)"});
    EXPECT_EQ(fs.data(name), kThreeTabs);
}

// A file with another hard link is rewritten where it is, so the link keeps
// seeing it; a failure part-way puts the backup back.
TEST(BatchFaults, HardLinkedFileIsRewrittenInPlace) {
    const std::string original = kFiveTabsOneDot;
    struct Case {
        const char* name;
        FakeFs::Fault fault;
        const char* line;
        bool converted, backup;
    };
    const Case cases[] = {
        // name                  fault: op, nth, error, persist     line, converted, backup kept
        // (closes: the conversion's, the mark's, then the rewrite's)
        {"no fault", {}, "Converted: a.c(5 tabs, 1 dots)", true, true},
        {"cannot be opened for writing", {Op::kOpenWrite, 1, FsError::kAccessDenied}, "Error: a.c", false, false},
        {"write fails, restored", {Op::kClose, 3, FsError::kNoSpace}, "Error: a.c", false, false},
        {"write and restore fail", {Op::kClose, 3, FsError::kNoSpace, true},
         "Error: a.c (restore failed; the original is in a.c.bak)", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFs fs;
        fs.add("a.c", original, /*shared=*/true);
        const unsigned long long id = fs.files[fs.key("a.c")].id;
        fs.fault = c.fault;
        RunResult r = run(fs, "*.c");
        EXPECT_EQ(file_lines(r), std::vector<std::string>{c.line});
        EXPECT_EQ(fs.files[fs.key("a.c")].id, id) << "the same file, not a new one";
        if (c.converted) { EXPECT_EQ(fs.data("a.c"), converted(original)); }
        if (!c.converted && !c.backup) { EXPECT_EQ(fs.data("a.c"), original); }
        EXPECT_EQ(fs.has("a.c.bak"), c.backup);
        if (c.backup) { EXPECT_EQ(fs.data("a.c.bak"), original); }
        EXPECT_EQ(fs.temps(), std::vector<std::string>{});
    }
}

TEST(BatchReplace, AFileIsReplacedByANewOne) {
    FakeFs fs;
    fs.add("a.c", kThreeTabs);
    const unsigned long long id = fs.files[fs.key("a.c")].id;
    run(fs, "*.c");
    EXPECT_EQ(fs.data("a.c"), converted(kThreeTabs));
    EXPECT_NE(fs.files[fs.key("a.c")].id, id);
    EXPECT_EQ(fs.temps(), std::vector<std::string>{});
}

TEST(BatchReplace, LeftoversOfKilledRunsAreRemovedAndNeverListed) {
    FakeFs fs;
    fs.live_processes = {5};
    fs.add(".ravolin-99-1.tmp", kThreeTabs);  // a process that is gone
    fs.add(".ravolin-5-2.tmp", kThreeTabs);   // a run still going on
    fs.add(".ravolin-7-3.tmp", kThreeTabs);   // this process: its runs are over
    fs.add(".ravolin-x-4.tmp", kPlain);       // not ours
    fs.add("a.c", kPlain);
    RunResult r = run(fs, "*");
    EXPECT_EQ(file_lines(r), (std::vector<std::string>{"Non conv.: .ravolin-x-4.tmp", "Non conv.: a.c"}));
    EXPECT_EQ(fs.temps(), std::vector<std::string>{".ravolin-5-2.tmp"});
}

// What is not converted on purpose: left exactly as it was, without a
// backup, and said why.
TEST(BatchSkip, FilesThatMustNotChangeAreSkipped) {
    const std::string quote = "c = '\"'; ";  // the converter reads a string opening here
    struct Case {
        const char* name;
        std::string text;
        FakeFs::Fault fault;
        const char* line;  // about x.c
    };
    FakeFs::Fault corrupt{Op::kWrite, 2};  // x.c's conversion
    corrupt.corrupt = true;
    FakeFs::Fault appended{Op::kFlush, 1};
    appended.append_to = "x.c";
    const Case cases[] = {
        {"a NUL byte", "a;\n\0    b;\n"s, {}, "Skipped   : x.c (binary)"},
        {"text after a Ctrl-Z", "    a;\n\x1a    b;\n", {}, "Skipped   : x.c (binary)"},
        {"two Ctrl-Z at the end", "    a;\n\x1a\x1a", {}, "Skipped   : x.c (binary)"},
        {"one Ctrl-Z at the very end", "    a;\n\x1a", {}, "Converted: x.c(1 tabs, 0 dots)"},
        {"converter fault in a literal", "s = \"QQ\";\n    b;\n", corrupt, "Skipped   : x.c (string literal would change)"},
        {"converter fault in code", "QQ;\n    b;\n", corrupt, "Skipped   : x.c (text would change)"},
        {"quote constant leaves spaces alone", quote + "   x = 1;\n", {}, "Non conv.: x.c"},
        {"quote constant would change a literal", quote + "s = \"a        b\";\n", {},
         "Skipped   : x.c (string literal would change)"},
        {"written to while converted", "    a;\n", appended, "Skipped   : x.c (changed during the run)"},
        // A Latin-1 byte in UTF-8 text: a lead byte in code page 932 before a quote.
        {"neither UTF-8 nor code page 932", "a = \"\xE9\", *s = \"x        y\";\n", {},
         "Skipped   : x.c (encoding unclear)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFs fs;
        fs.add("w.c", kThreeTabs);
        fs.add("x.c", c.text);
        fs.add("y.c", kThreeTabs);
        fs.fault = c.fault;
        const std::string now = c.fault.append_to.empty() ? c.text : c.text + "appended;\n";
        RunResult r = run(fs, "*.c");
        // In the files' order, though w.c waits to be put in place when x.c is done.
        EXPECT_EQ(file_lines(r), (std::vector<std::string>{"Converted: w.c(3 tabs, 0 dots)", c.line,
                                                           "Converted: y.c(3 tabs, 0 dots)"}));
        const bool skipped = std::string(c.line).rfind("Skipped", 0) == 0;
        EXPECT_EQ(r.counts.skipped, skipped ? 1 : 0);
        EXPECT_EQ(r.result.find(", Skipped = 1\r\n") != std::string::npos, skipped);
        if (skipped) {
            EXPECT_EQ(fs.data("x.c"), now) << "as it is now";
            EXPECT_FALSE(fs.has("x.c.bak"));
        }
        EXPECT_EQ(fs.temps(), std::vector<std::string>{});
    }
}

// Each file is read in its own encoding: UTF-8 when it starts with a UTF-8
// byte order mark or all of it is valid UTF-8 with a multi-byte sequence,
// code page 932 otherwise.
TEST(BatchEncoding, EachFileInItsOwnEncoding) {
    const Encoding utf8 = Encoding::kUtf8, cp932 = Encoding::kCp932;
    struct Case {
        const char* name;
        std::string text;
        Encoding encoding;
    };
    const Case cases[] = {
        {"wide character before a string", "char *a = \"\xE8\xAA\x9E\"; char *b = \"a    b\";\n    x;\n", utf8},
        {"wide character in a line comment", "// \xE8\xAA\x9E\n\"a        b\"    y;\n", utf8},
        {"wide characters before spaces", "/*\xE8\xAA\x9E\xE8\xAA\x9E*/  x;\n", utf8},
        {"combining mark", "/* e\xCC\x81 */   x;\n", utf8},
        {"byte order mark", "\xEF\xBB\xBF    x;\n", utf8},
        {"byte order mark before bytes that are not UTF-8", "\xEF\xBB\xBF/*\xC3\xA9\xC3\xA9*/  x; /* \xFF */\n", utf8},
        {"Shift-JIS", kFiveTabsOneDot, cp932},
        {"bytes that are not UTF-8", "/* \xE9t\xE9t */    x;\n", cp932},
        {"ASCII", kThreeTabs, cp932},
    };
    FakeFs fs;
    for (std::size_t i = 0; i < std::size(cases); ++i) fs.add("f" + std::to_string(i) + ".c", cases[i].text);
    RunResult r = run(fs, "*.c");
    EXPECT_EQ(r.counts.skipped + r.counts.errors, 0) << r.result;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(fs.data("f" + std::to_string(i) + ".c"), convert(cases[i].text, 4, 0, cases[i].encoding).text);
    }
    // Told to read the first file as Shift-JIS, the run would break its
    // strings: it leaves the file alone.
    FakeFs forced;
    forced.add("f.c", cases[0].text);
    RunResult f = run(forced, "*.c", 4, nullptr, cp932);
    EXPECT_EQ(file_lines(f), std::vector<std::string>{"Skipped   : f.c (string literal would change)"});
    EXPECT_EQ(forced.data("f.c"), cases[0].text);
    // Told how to read a file in neither encoding, the run converts it.
    FakeFs named;
    named.add("f.c", "/* \xE9t\xE9 */    x;\n");
    RunResult n = run(named, "*.c", 4, nullptr, cp932);
    EXPECT_EQ(file_lines(n), std::vector<std::string>{"Converted: f.c(1 tabs, 0 dots)"});
}

// The log leaves room for the longest summary, so the result text holds it
// whole beside a full log.
TEST(BatchReport, LongestSummaryFitsBesideAFullLog) {
    static char result[kTextSize], log[kTextSize];
    const std::string line = "Converted: " + std::string(200, 'n') + ".c(1 tabs, 0 dots)\r\n";
    // Counts shown only when above 0 are at their widest there.
    const std::string summary = "Converted files = -2147483648 (Total -2147483648 tabs, -2147483648 dots), "
                                "Non conv. = -2147483648, Refused = -2147483648, Skipped = 2147483647, "
                                "Errors = 2147483647\r\n";
    ReportBuffers report(result, log, kTextSize);
    const std::string name = std::string(200, 'n') + ".c";
    FileEvent converted;
    converted.outcome = FileOutcome::kConverted;
    converted.name = name.c_str();
    converted.tabs = 1;
    for (int i = 0; i < 200; ++i) report.file(converted);
    RunCounts counts;
    counts.converted = counts.tabs = counts.dots = counts.non_converted = counts.refused = INT_MIN;
    counts.skipped = counts.errors = counts.left_out = INT_MAX;
    report.summary(counts);
    const std::string text = result;
    EXPECT_EQ(text.rfind(summary + "Left out  : 2147483647 more files (", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - std::strlen(kLogTruncated)), kLogTruncated);
}

TEST(BatchCancel, CancelAtEveryPieceLeavesFilesConvertedOrAsTheyWere) {
    // Pieces of a long line, ordinary lines and a CR LF file: with short
    // reads a cancel can land before any piece of either file.
    const std::string first = std::string(4500, ' ') + "x;\n" + std::string(40, ' ') + "y;\n" + kThreeTabs;
    const std::string second = "int  a;\r\n        b;\r\n/*    c */\r\n";
    const Files files = {{"a.c", first}, {"b.c", second}};
    long total_reads = 0;
    {
        FakeFs fs;
        fs.read_chunk = 64;
        for (const auto& f : files) fs.add(f.first, f.second);
        run(fs, "*.c");
        total_reads = fs.op_counts[Op::kRead];
    }
    ASSERT_GT(total_reads, 70);
    int stopped_inside[2] = {0, 0};  // runs cancelled part-way through a.c / b.c
    for (long k = 1; k <= total_reads + 1; ++k) {
        SCOPED_TRACE("cancel at read " + std::to_string(k));
        std::atomic<bool> cancel{false};
        FakeFs fs;
        fs.read_chunk = 64;
        fs.fault = FakeFs::Fault{Op::kRead, k, FsError::kNone, false, true};
        fs.cancel_target = &cancel;
        for (const auto& f : files) fs.add(f.first, f.second);
        RunResult r = run(fs, "*.c", 4, &cancel);
        expect_each_whole(fs, files, r);
        EXPECT_EQ(fs.temps(), std::vector<std::string>{});
        if (r.outcome == RunOutcome::kCancelled) {
            EXPECT_EQ(r.result, kOldResult) << "no summary";
            // Nothing is put in place once cancelled: a converted file still
            // waiting for its flush is left as it was too.
            EXPECT_EQ(fs.data("a.c"), first);
            EXPECT_EQ(fs.data("b.c"), second);
            const std::string a_line = "Aborted   : a.c (left as it was)\r\n";
            const std::string b_line = "Aborted   : b.c (left as it was)\r\n";
            if (r.log == a_line) {
                ++stopped_inside[0];
            } else {
                EXPECT_EQ(r.log, a_line + b_line);
                ++stopped_inside[1];
            }
        } else {
            EXPECT_EQ(fs.data("b.c"), converted(second));
        }
    }
    EXPECT_GT(stopped_inside[0], 20);
    EXPECT_GT(stopped_inside[1], 0);
}

// A cancel while the disk takes its time over a flush is not waited for:
// the group is given up, its files left as they were, and the next run
// (which waits for that flush first) converts them.
TEST(BatchCancel, CancelDuringASlowFlushIsNotWaitedFor) {
    std::atomic<bool> cancel{false};
    FakeFs fs;
    const Files files = {{"a.c", kThreeTabs}, {"b.c", "int  a;\n        b;\n"}};
    for (const auto& f : files) fs.add(f.first, f.second);
    fs.flush_ms = 1000;
    fs.fault = FakeFs::Fault{Op::kFlush, 1, FsError::kNone, false, true};
    fs.cancel_target = &cancel;
    const auto start = std::chrono::steady_clock::now();
    RunResult r = run(fs, "*.c", 4, &cancel);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(500));
    EXPECT_EQ(r.outcome, RunOutcome::kCancelled);
    EXPECT_EQ(r.log, "Aborted   : a.c (left as it was)\r\nAborted   : b.c (left as it was)\r\n");
    expect_each_whole(fs, files, r);
    for (const auto& f : files) EXPECT_EQ(fs.data(f.first), f.second) << f.first;
    EXPECT_EQ(fs.temps(), std::vector<std::string>{});
    EXPECT_FALSE(fs.has("a.c.bak"));
    fs.fault = FakeFs::Fault{};
    fs.flush_ms = 0;
    RunResult again = run(fs, "*.c");
    EXPECT_EQ(again.outcome, RunOutcome::kFinished);
    for (const auto& f : files) EXPECT_EQ(fs.data(f.first), converted(f.second)) << f.first;
}

// A cancel while a flushed group is put in place stops between its files:
// on a slow disk the rest of the group would keep the user waiting.
TEST(BatchCancel, CancelWhileAGroupIsPutInPlaceStopsBetweenFiles) {
    std::atomic<bool> cancel{false};
    FakeFs fs;
    const Files files = {{"a.c", kThreeTabs}, {"b.c", "int  a;\n        b;\n"}, {"c.c", kThreeTabs}};
    for (const auto& f : files) fs.add(f.first, f.second);
    fs.fault = FakeFs::Fault{Op::kRenameReplace, 1, FsError::kNone, false, true};
    fs.cancel_target = &cancel;
    RunResult r = run(fs, "*.c", 4, &cancel);
    EXPECT_EQ(r.outcome, RunOutcome::kCancelled);
    EXPECT_EQ(fs.data("a.c"), converted(kThreeTabs));
    const std::string rest = "Aborted   : b.c (left as it was)\r\nAborted   : c.c (left as it was)\r\n";
    ASSERT_GT(r.log.size(), rest.size());
    EXPECT_EQ(r.log.substr(r.log.size() - rest.size()), rest);
    expect_each_whole(fs, files, r);
    EXPECT_EQ(fs.data("b.c"), files[1].second);
    EXPECT_EQ(fs.temps(), std::vector<std::string>{});
}

TEST(BatchCancel, CancelBeforeTheRunTouchesNothing) {
    std::atomic<bool> cancel{true};
    FakeFs fs;
    fs.add("a.c", kThreeTabs);
    RunResult r = run(fs, "*.c", 4, &cancel);
    EXPECT_EQ(r.outcome, RunOutcome::kCancelled);
    EXPECT_EQ(r.result, kOldResult);
    EXPECT_EQ(r.log, "");
    EXPECT_FALSE(fs.has("a.c.bak"));
    EXPECT_EQ(fs.data("a.c"), kThreeTabs);
}

TEST(BatchWildcard, MatchesLikeTheWin32SearchButOnBytes) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        // pattern   name         match
        {"*.c", "a.c", true},       {"*.c", "a.C", false},     {"*.c", "a.cpp", false}, {"*.c", ".c", true},
        {"*.c", "a.c.bak", false},  {"*", "anything", true},   {"*.*", "noext", true},  {"*.*", "a.b.c", true},
        {"a?c", "abc", true},       {"a?c", "ac", false},      {"a?c", "abbc", false},  {"notes.*", "notes", true},
        {"notes.*", "notes.x", true}, {"notes.*", "note", false}, {"*a*b", "xaxxb", true}, {"*a*b", "xaxxbc", false},
        {"", "a", false},           {"a*", "a", true},         {"**.c", "x.c", true},   {"\x95\x5c*", "\x95\x5c.c", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wildcard_match(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
    }
}

}  // namespace
}  // namespace ravolin::test
