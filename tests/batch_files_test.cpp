// The batch run on real files in a temporary folder, through the platform's
// own file-system seam (POSIX natively, Win32 under Wine or Windows).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "base/win32_handle.h"
#else
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "batch/temp_name.h"
#include "tests/batch_test_util.h"

namespace fs = std::filesystem;

namespace ravolin::test {
namespace {

#ifdef _WIN32
constexpr char kSep = '\\';
#else
constexpr char kSep = '/';
#endif

const std::string kHyo = "\x95\x5c";
const std::string kTabsAndDot = std::string(20, ' ') + "x;\n// " + kHyo + "\n";
const std::string kThreeTabs = std::string(12, ' ') + "y;\r\n";
const std::string kPlain = "z;\n";

void write_file(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file lines of a report (summary dropped), sorted: the Win32 search
// promises no order.
std::multiset<std::string> file_lines(const std::string& result) {
    std::multiset<std::string> lines;
    std::size_t at = result.find("\r\n");
    while (at != std::string::npos && at + 2 < result.size()) {
        std::size_t end = result.find("\r\n", at + 2);
        lines.insert(result.substr(at + 2, end - at - 2));
        at = end;
    }
    return lines;
}

class BatchFiles : public ::testing::Test {
protected:
    void SetUp() override {
        saved_cwd_ = fs::current_path();
        static int serial = 0;
        dir_ = fs::temp_directory_path() /
               ("ravolin-batch-" + std::to_string(static_cast<long>(::testing::UnitTest::GetInstance()->random_seed())) +
                "-" + std::to_string(++serial) + "-" + std::to_string(std::rand()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::current_path(saved_cwd_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // Windows cannot remove the current directory: step out of it first.
    void empty_dir() {
        fs::current_path(saved_cwd_);
        for (const auto& e : fs::directory_iterator(dir_)) fs::remove_all(e.path());
    }
    std::string wildcard_path(const std::string& pattern) const { return dir_.string() + kSep + pattern; }
    fs::path at(const std::string& name) const { return dir_ / name; }

    fs::path saved_cwd_, dir_;
};

TEST_F(BatchFiles, GathersConvertsAndBacksUp) {
    struct Case {
        const char* pattern;
        std::multiset<std::string> lines;
    };
    const Case cases[] = {
        // pattern  file lines of the report
        {"*.c", {"Converted: a.c(5 tabs, 1 dots)", "Converted: b.c(3 tabs, 0 dots)", "Non conv.: c.c"}},
        {"*.*",
         {"Converted: a.c(5 tabs, 1 dots)", "Converted: b.c(3 tabs, 0 dots)", "Non conv.: c.c",
          "Non conv.: NOTES.BAK", "Non conv.: plain"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        empty_dir();
        write_file(at("a.c"), kTabsAndDot);
        write_file(at("b.c"), kThreeTabs);
        write_file(at("c.c"), kPlain);
        write_file(at("NOTES.BAK"), kPlain);  // the backup test is on the name's bytes
        write_file(at("old.bak"), kPlain);
        write_file(at("plain"), kPlain);
        fs::create_directories(at("dir.c"));
        fs::create_directories(at("sub"));
        write_file(at("sub") / "d.c", kThreeTabs);

        RunResult r = run(platform_file_system(), wildcard_path(c.pattern));
        EXPECT_EQ(file_lines(r.result), c.lines) << r.result;
        EXPECT_EQ(read_file(at("a.c")), converted(kTabsAndDot));
        EXPECT_EQ(read_file(at("a.c.bak")), kTabsAndDot);
        EXPECT_EQ(read_file(at("b.c")), converted(kThreeTabs));
        EXPECT_EQ(read_file(at("b.c.bak")), kThreeTabs);
        EXPECT_FALSE(fs::exists(at("old.bak.bak")));
        EXPECT_FALSE(fs::exists(at("sub") / "d.c.bak"));
        EXPECT_TRUE(fs::is_directory(at("dir.c")));
        EXPECT_FALSE(fs::exists(at("dir.c.bak")));
        EXPECT_TRUE(fs::equivalent(fs::current_path(), saved_cwd_)) << "nothing changes the current directory";

        // A second run refuses every file and changes none.
        std::vector<std::pair<fs::path, std::string>> before;
        for (const auto& e : fs::directory_iterator(dir_)) {
            if (e.is_regular_file()) before.emplace_back(e.path(), read_file(e.path()));
        }
        RunResult again = run(platform_file_system(), wildcard_path(c.pattern));
        EXPECT_EQ(again.counts.refused, static_cast<int>(c.lines.size()));
        EXPECT_EQ(again.counts.converted + again.counts.non_converted + again.counts.errors, 0);
        for (const auto& f : before) EXPECT_EQ(read_file(f.first), f.second) << f.first;
    }
}

TEST_F(BatchFiles, RelativeFolderIsSearchedFromWhereItWasMadeCurrent) {
    const char* wildcard_paths[] = {"sub\\*.c", "sub/*.c"};
    for (const char* s : wildcard_paths) {
        SCOPED_TRACE(s);
        empty_dir();
        fs::create_directories(at("sub") / "sub");
        write_file(at("sub") / "a.c", kThreeTabs);
        write_file(at("sub") / "sub" / "deep.c", kThreeTabs);
        write_file(at("a.c"), kThreeTabs);  // same name in the old current folder
        fs::current_path(dir_);
        RunResult r = run(platform_file_system(), s);
        EXPECT_EQ(file_lines(r.result), std::multiset<std::string>{"Converted: a.c(3 tabs, 0 dots)"});
        EXPECT_EQ(read_file(at("sub") / "a.c"), converted(kThreeTabs));
        EXPECT_EQ(read_file(at("a.c")), kThreeTabs);
        EXPECT_FALSE(fs::exists(at("a.c.bak")));
        EXPECT_EQ(read_file(at("sub") / "sub" / "deep.c"), kThreeTabs);
    }
}

TEST_F(BatchFiles, MissingFolderListsNothing) {
    write_file(at("a.c"), kThreeTabs);
    fs::current_path(dir_);
    RunResult r = run(platform_file_system(), "nosuch" + std::string(1, kSep) + "*.c");
    EXPECT_EQ(r.result, "Converted files = 0 (Total 0 tabs, 0 dots), Non conv. = 0, Refused = 0, Errors = 1\r\n"
                        "Error: nosuch" + std::string(1, kSep) + "*.c\r\n");
    EXPECT_EQ(read_file(at("a.c")), kThreeTabs);
    EXPECT_FALSE(fs::exists(at("a.c.bak")));
    EXPECT_TRUE(fs::equivalent(fs::current_path(), dir_));
}

// Makes a file impossible to write for as long as it lives, the way that
// works for the user running the tests (as root a chmod does not).
class WriteLock {
public:
    // A folder stays readable and searchable; nothing can be made in it.
    explicit WriteLock(const fs::path& p, bool folder = false) : path_(p), folder_(folder) {
#ifdef _WIN32
        // Another handle that lets others read but not write.
        h_.reset(CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        locked_ = h_.valid();
#else
        if (geteuid() != 0) {
            locked_ = ::chmod(p.c_str(), folder ? 0555 : 0444) == 0;
            return;
        }
        int fd = ::open(p.c_str(), O_RDONLY);
        int flags = 0;
        if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            immutable_ = locked_ = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        if (fd >= 0) ::close(fd);
#endif
    }
    ~WriteLock() {
#ifdef _WIN32
        h_.close();
#else
        if (immutable_) {
            int fd = ::open(path_.c_str(), O_RDONLY);
            int flags = 0;
            if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
            }
            if (fd >= 0) ::close(fd);
        } else if (locked_) {
            ::chmod(path_.c_str(), folder_ ? 0755 : 0644);
        }
#endif
    }
    bool locked() const { return locked_; }

private:
    fs::path path_;
    bool folder_;
    bool locked_ = false;
#ifdef _WIN32
    FileHandle h_;
#else
    bool immutable_ = false;
#endif
};

// The run's temporary files in dir.
std::vector<std::string> temps_in(const fs::path& dir) {
    std::vector<std::string> t;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (is_temp_name(e.path().filename().string().c_str())) t.push_back(e.path().filename().string());
    }
    return t;
}

TEST_F(BatchFiles, UnwritableFileIsLeftAsItWasAndConvertedLater) {
    write_file(at("ro.c"), kTabsAndDot);
    write_file(at("ok.c"), kThreeTabs);
    {
        WriteLock lock(at("ro.c"));
        if (!lock.locked()) RAVOLIN_SKIP("cannot make a file unwritable here");
        RunResult r = run(platform_file_system(), wildcard_path("*.c"));
        EXPECT_EQ(file_lines(r.result),
                  (std::multiset<std::string>{"Error: ro.c", "Converted: ok.c(3 tabs, 0 dots)"}));
        EXPECT_EQ(r.counts.converted, 1);
        EXPECT_EQ(r.counts.errors, 1);
        EXPECT_EQ(r.counts.non_converted + r.counts.refused, 0);
    }
    EXPECT_EQ(read_file(at("ro.c")), kTabsAndDot) << "failed, bytes unchanged";
    EXPECT_FALSE(fs::exists(at("ro.c.bak"))) << "no backup to block a later run";
    EXPECT_EQ(temps_in(dir_), std::vector<std::string>{});
    RunResult later = run(platform_file_system(), wildcard_path("ro.c"));
    EXPECT_EQ(file_lines(later.result), std::multiset<std::string>{"Converted: ro.c(5 tabs, 1 dots)"});
}

// Only an existing backup refuses a file; a backup that cannot be made says
// why, and the file is left alone.
TEST_F(BatchFiles, BackupThatCannotBeMadeSaysWhy) {
    fs::create_directories(at("sub"));
    const fs::path file = at("sub") / "a.c";
    write_file(file, kThreeTabs);
    std::string line;
    {
#ifdef _WIN32
        // Held open by another program that shares nothing.
        HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        RunResult r = run(platform_file_system(), wildcard_path("sub\\a.c"));
        CloseHandle(h);
        line = "Error: a.c (backup: file in use)";
#else
        WriteLock lock(at("sub"), /*folder=*/true);
        if (!lock.locked()) RAVOLIN_SKIP("cannot make a folder unwritable here");
        RunResult r = run(platform_file_system(), wildcard_path("sub/a.c"));
        line = "Error: a.c (backup: folder not writable)";
#endif
        EXPECT_EQ(file_lines(r.result), std::multiset<std::string>{line});
        EXPECT_EQ(r.counts.errors, 1);
        EXPECT_EQ(r.counts.refused, 0);
    }
    EXPECT_EQ(read_file(file), kThreeTabs);
    EXPECT_FALSE(fs::exists(at("sub") / "a.c.bak"));
}

TEST_F(BatchFiles, LeftoversOfAKilledRunAreRemoved) {
    const std::string leftover = ".ravolin-4000000000-1.tmp";  // no process has this id
    write_file(at(leftover), kThreeTabs);
    write_file(at("a.c"), kPlain);
    RunResult r = run(platform_file_system(), wildcard_path("*"));
    EXPECT_EQ(file_lines(r.result), std::multiset<std::string>{"Non conv.: a.c"});
    EXPECT_FALSE(fs::exists(at(leftover)));
}

#ifndef _WIN32
TEST_F(BatchFiles, BackupIsTheOriginalAndTheConversionKeepsItsMode) {
    for (mode_t mode : {0640, 0755, 0600}) {
        SCOPED_TRACE(mode);
        empty_dir();
        write_file(at("m.c"), kThreeTabs);
        ASSERT_EQ(::chmod(at("m.c").c_str(), mode), 0);
        struct stat before;
        ASSERT_EQ(::stat(at("m.c").c_str(), &before), 0);
        run(platform_file_system(), wildcard_path("m.c"));
        EXPECT_EQ(read_file(at("m.c")), converted(kThreeTabs));
        for (const char* name : {"m.c", "m.c.bak"}) {
            struct stat st;
            ASSERT_EQ(::stat(at(name).c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, mode) << name;
            EXPECT_EQ(st.st_nlink, 1u) << name;
        }
        // The backup is the original file itself, its time of last write too.
        struct stat bak;
        ASSERT_EQ(::stat(at("m.c.bak").c_str(), &bak), 0);
        EXPECT_EQ(bak.st_ino, before.st_ino);
        EXPECT_EQ(bak.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    }
}

// A symbolic link's target is converted where it is, the link stays a link
// and the backup goes beside the link's name.
TEST_F(BatchFiles, SymbolicLinkTargetIsConverted) {
    fs::create_directories(at("real"));
    write_file(at("real") / "t.c", kTabsAndDot);
    fs::create_symlink(fs::path("real") / "t.c", at("s.c"));
    RunResult r = run(platform_file_system(), wildcard_path("*.c"));
    EXPECT_EQ(file_lines(r.result), std::multiset<std::string>{"Converted: s.c(5 tabs, 1 dots)"});
    EXPECT_TRUE(fs::is_symlink(at("s.c")));
    EXPECT_EQ(read_file(at("real") / "t.c"), converted(kTabsAndDot));
    EXPECT_EQ(read_file(at("s.c.bak")), kTabsAndDot);
    EXPECT_EQ(temps_in(at("real")), std::vector<std::string>{});
}
#endif

// A file with another hard link is rewritten in place, so every name still
// shows the same bytes.
TEST_F(BatchFiles, HardLinkedFileStaysLinked) {
    fs::create_directories(at("other"));
    write_file(at("h.c"), kThreeTabs);
    std::error_code ec;
    fs::create_hard_link(at("h.c"), at("other") / "h2", ec);
    if (ec) RAVOLIN_SKIP("no hard links here");
    RunResult r = run(platform_file_system(), wildcard_path("*.c"));
    EXPECT_EQ(file_lines(r.result), std::multiset<std::string>{"Converted: h.c(3 tabs, 0 dots)"});
    EXPECT_TRUE(fs::equivalent(at("h.c"), at("other") / "h2"));
    EXPECT_EQ(read_file(at("other") / "h2"), converted(kThreeTabs));
    EXPECT_EQ(read_file(at("h.c.bak")), kThreeTabs);
    EXPECT_EQ(temps_in(dir_), std::vector<std::string>{});
}

#ifdef _WIN32
// The replacement keeps the file's attributes; a read-only file is left alone.
TEST_F(BatchFiles, AttributesAreKept) {
    write_file(at("hid.c"), kThreeTabs);
    write_file(at("ro.c"), kThreeTabs);
    const std::string hid = at("hid.c").string(), ro = at("ro.c").string();
    ASSERT_TRUE(SetFileAttributesA(hid.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(SetFileAttributesA(ro.c_str(), FILE_ATTRIBUTE_READONLY));
    RunResult r = run(platform_file_system(), wildcard_path("*.c"));
    EXPECT_EQ(file_lines(r.result), (std::multiset<std::string>{"Converted: hid.c(3 tabs, 0 dots)", "Error: ro.c"}));
    EXPECT_TRUE(GetFileAttributesA(hid.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(read_file(at("ro.c")), kThreeTabs);
    EXPECT_FALSE(fs::exists(at("ro.c.bak")));
    EXPECT_EQ(temps_in(dir_), std::vector<std::string>{});
    SetFileAttributesA(ro.c_str(), FILE_ATTRIBUTE_NORMAL);
}
#endif

// Passes everything to the real file system but reads in small steps,
// raises the cancel flag at one chosen read (0: none) and lets a test act
// just before each flush.
class HookedFs : public FileSystem {
public:
    HookedFs(FileSystem& real, std::atomic<bool>& cancel, long at) : real_(real), cancel_(cancel), at_(at) {}
    bool has_drive_letters() const override { return real_.has_drive_letters(); }
    bool search(const char* f, const char* p, SearchSink& s) override { return real_.search(f, p, s); }
    bool absolute_folder(const char* f, char* out, std::size_t cap) override {
        return real_.absolute_folder(f, out, cap);
    }
    bool is_folder(const char* p) override { return real_.is_folder(p); }
    void subfolders(const char* f, std::vector<std::string>& names) override { real_.subfolders(f, names); }
    FsError stat(const char* n, FileInfo* i) override { return real_.stat(n, i); }
    FsError resolve(const char* n, char* t, std::size_t c) override { return real_.resolve(n, t, c); }
    CopyResult copy_new(const char* from, const char* to, const std::atomic<bool>& c) override {
        return real_.copy_new(from, to, c);
    }
    InFile* open_read(const char* name) override {
        Wrap& w = wraps_[wraps_[0].inner ? 1 : 0];
        w.inner = real_.open_read(name);
        w.owner = this;
        return w.inner ? &w : nullptr;
    }
    OutFile* open_write(const char* name) override { return real_.open_write(name); }
    OutFile* create_new(const char* n, const FileInfo& l, FsError* e) override { return real_.create_new(n, l, e); }
    void start_flush(const char* const* n, int c, FsError* r) override {
        if (before_flush) before_flush();
        real_.start_flush(n, c, r);
    }
    void finish_flush() override { real_.finish_flush(); }
    FsError rename_new(const char* f, const char* t) override { return real_.rename_new(f, t); }
    FsError rename_replace(const char* f, const char* t) override { return real_.rename_replace(f, t); }
    FsError remove(const char* n) override { return real_.remove(n); }
    unsigned long process_id() override { return real_.process_id(); }
    bool process_alive(unsigned long id) override { return real_.process_alive(id); }
    long reads = 0;
    std::function<void()> before_flush;

private:
    struct Wrap : InFile {
        long read(unsigned char* buf, std::size_t n) override {
            if (++owner->reads == owner->at_) owner->cancel_.store(true);
            return inner->read(buf, n < 300 ? n : 300);
        }
        void close() override {
            inner->close();
            inner = nullptr;
        }
        InFile* inner = nullptr;
        HookedFs* owner = nullptr;
    };
    FileSystem& real_;
    std::atomic<bool>& cancel_;
    long at_;
    Wrap wraps_[2];  // the seam has two files open for reading at most
};

TEST_F(BatchFiles, CancelLeavesEveryFileConvertedOrAsItWas) {
    const std::string big = std::string(3000, ' ') + "x;\n" + kThreeTabs + kTabsAndDot + std::string(2500, 'q') + "\n";
    const std::string small = kTabsAndDot;
    long total = 0;
    for (long k = 1;; ++k) {
        SCOPED_TRACE("cancel at read " + std::to_string(k));
        empty_dir();
        write_file(at("a.c"), big);
        write_file(at("b.c"), small);
        std::atomic<bool> cancel{false};
        HookedFs cfs(platform_file_system(), cancel, k);
        RunResult r = run(cfs, wildcard_path("*.c"), 4, &cancel);
        total = cfs.reads;
        for (const auto& f : {std::make_pair("a.c", big), std::make_pair("b.c", small)}) {
            const std::string now = read_file(at(f.first));
            EXPECT_TRUE(now == f.second || now == converted(f.second)) << f.first;
        }
        if (r.outcome == RunOutcome::kCancelled) { EXPECT_EQ(r.result, kOldResult); }
        if (k > total) break;
    }
    EXPECT_GT(total, 20);
}

// A file another program writes between its backup and its replacement is
// left as it now is.
TEST_F(BatchFiles, FileWrittenDuringTheRunIsLeftAsItIs) {
    write_file(at("a.c"), kThreeTabs);
    std::atomic<bool> cancel{false};
    HookedFs hooked(platform_file_system(), cancel, 0);
    hooked.before_flush = [&] { std::ofstream(at("a.c"), std::ios::binary | std::ios::app) << "more;\n"; };
    RunResult r = run(hooked, wildcard_path("a.c"));
    EXPECT_EQ(file_lines(r.result), std::multiset<std::string>{"Skipped   : a.c (changed during the run)"});
    EXPECT_EQ(read_file(at("a.c")), kThreeTabs + "more;\n");
    EXPECT_FALSE(fs::exists(at("a.c.bak")));
    EXPECT_EQ(temps_in(dir_), std::vector<std::string>{});
}

// A file reached under two names in one run is converted once; the other
// name is skipped, even when many files lie between them (the first one is
// then replaced, with a new file id, before the second is reached). Which
// name comes first is the search's business.
TEST_F(BatchFiles, SameFileUnderTwoNamesIsConvertedOnce) {
    struct Case {
        const char* name;
        bool symbolic;
    };
    const Case cases[] = {
        {"hard link", false},
#ifndef _WIN32
        {"symbolic link", true},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        empty_dir();
        write_file(at("zz.c"), kTabsAndDot);
        std::error_code ec;
        if (c.symbolic) {
            fs::create_symlink("zz.c", at("aa.c"), ec);
        } else {
            fs::create_hard_link(at("zz.c"), at("aa.c"), ec);
        }
        if (ec) RAVOLIN_SKIP("no links here");
        for (int i = 100; i < 180; ++i) write_file(at("m" + std::to_string(i) + ".c"), kPlain);
        RunResult r = run(platform_file_system(), wildcard_path("*.c"));
        const std::multiset<std::string> lines = file_lines(r.result);
        const bool aa_first = lines.count("Converted: aa.c(5 tabs, 1 dots)") == 1;
        const std::string first = aa_first ? "aa.c" : "zz.c", second = aa_first ? "zz.c" : "aa.c";
        EXPECT_EQ(lines.count("Converted: " + first + "(5 tabs, 1 dots)"), 1u);
        EXPECT_EQ(lines.count("Skipped   : " + second + " (same file as " + first + ")"), 1u);
        EXPECT_EQ(r.counts.non_converted, 80);
        EXPECT_EQ(read_file(at("aa.c")), converted(kTabsAndDot));
        EXPECT_EQ(read_file(at("zz.c")), converted(kTabsAndDot));
        EXPECT_EQ(read_file(at(first + ".bak")), kTabsAndDot);
        EXPECT_FALSE(fs::exists(at(second + ".bak")));
    }
}

// A real full disk: run by tests/batch_small_disk.sh, which mounts a 100 KiB
// tmpfs and names it in RAVOLIN_SMALL_FS.
TEST(BatchSmallDisk, FullDiskLeavesFilesAsTheyWere) {
    const char* where = std::getenv("RAVOLIN_SMALL_FS");
    if (!where || !*where) RAVOLIN_SKIP("RAVOLIN_SMALL_FS names no small file system");
    const fs::path dir(where);
    const fs::path saved = fs::current_path();
    // Sizes in 4 KiB pages of the 25-page file system: a file, its backup
    // and its converted copy exist side by side until the switch.
    std::string lf_lines;  // 12 pages; grows by a third when LF becomes CR LF
    for (int i = 0; i < 15360; ++i) lf_lines += "a;\n";
    std::string crlf_lines;  // 7 pages; stays as it is
    for (int i = 0; i < 7168; ++i) crlf_lines += "b;\r\n";
    const std::string dir_prefix = dir.string() + kSep;

    // File and backup fit; the converted file does not.
    write_file(dir / "grow.c", lf_lines);
    RunResult r = run(platform_file_system(), dir_prefix + "grow.c");
    EXPECT_EQ(file_lines(r.result), std::multiset<std::string>{"Error: grow.c"});
    EXPECT_EQ(read_file(dir / "grow.c"), lf_lines) << "byte-identical to the original";
    EXPECT_FALSE(fs::exists(dir / "grow.c.bak"));
    EXPECT_EQ(temps_in(dir), std::vector<std::string>{});
    fs::current_path(saved);
    fs::remove(dir / "grow.c");

    // The backup itself does not fit: no partial backup stays behind, so once
    // there is room again the file converts. A second name of a file takes
    // no room: where there are such, the file is reached through a symbolic
    // link, whose target gets a copy for its backup.
    write_file(dir / "filler", std::string(14 * 4096, 'f'));
#ifdef _WIN32
    write_file(dir / "fit.c", crlf_lines);
#else
    write_file(dir / "fit-target.c", crlf_lines);
    fs::create_symlink("fit-target.c", dir / "fit.c");
#endif
    RunResult refused = run(platform_file_system(), dir_prefix + "fit.c");
    EXPECT_EQ(file_lines(refused.result), std::multiset<std::string>{"Error: fit.c (backup: no space)"});
    EXPECT_FALSE(fs::exists(dir / "fit.c.bak"));
    EXPECT_EQ(read_file(dir / "fit.c"), crlf_lines);
    EXPECT_EQ(temps_in(dir), std::vector<std::string>{});
    fs::current_path(saved);
    fs::remove(dir / "filler");
    RunResult later = run(platform_file_system(), dir_prefix + "fit.c");
    EXPECT_EQ(file_lines(later.result), std::multiset<std::string>{"Non conv.: fit.c"});
    fs::current_path(saved);
    fs::remove(dir / "fit.c");
    fs::remove(dir / "fit.c.bak");
    fs::remove(dir / "fit-target.c");
}

}  // namespace
}  // namespace ravolin::test
