// The batch run on real files in a temporary folder, through the platform's
// own file-system seam (POSIX natively, Win32 under Wine or Windows).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
        EXPECT_TRUE(fs::equivalent(fs::current_path(), dir_)) << "the folder is made current";

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
    EXPECT_EQ(r.result, "Converted files = 0 (Total 0 tabs, 0 dots), Non conv. = 0, Refused = 0\r\n"
                        "Error: nosuch" + std::string(1, kSep) + "*.c\r\n");
    EXPECT_EQ(read_file(at("a.c")), kThreeTabs);
    EXPECT_FALSE(fs::exists(at("a.c.bak")));
    EXPECT_TRUE(fs::equivalent(fs::current_path(), dir_));
}

// Makes a file impossible to write for as long as it lives, the way that
// works for the user running the tests (as root a chmod does not).
class WriteLock {
public:
    explicit WriteLock(const fs::path& p) : path_(p) {
#ifdef _WIN32
        // Another handle that lets others read but not write.
        h_.reset(CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        locked_ = h_.valid();
#else
        if (geteuid() != 0) {
            locked_ = ::chmod(p.c_str(), 0444) == 0;
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
            ::chmod(path_.c_str(), 0644);
        }
#endif
    }
    bool locked() const { return locked_; }

private:
    fs::path path_;
    bool locked_ = false;
#ifdef _WIN32
    FileHandle h_;
#else
    bool immutable_ = false;
#endif
};

TEST_F(BatchFiles, UnwritableFileGivesErrorAndIsRefusedLater) {
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
    EXPECT_EQ(read_file(at("ro.c.bak")), kTabsAndDot);
    RunResult later = run(platform_file_system(), wildcard_path("ro.c"));
    EXPECT_EQ(file_lines(later.result), std::multiset<std::string>{"Refused   : ro.c"});
}

#ifndef _WIN32
TEST_F(BatchFiles, BackupKeepsTheFilesMode) {
    for (mode_t mode : {0640, 0755, 0400}) {
        SCOPED_TRACE(mode);
        empty_dir();
        write_file(at("m.c"), kPlain);
        ASSERT_EQ(::chmod(at("m.c").c_str(), mode), 0);
        run(platform_file_system(), wildcard_path("m.c"));
        struct stat st;
        ASSERT_EQ(::stat(at("m.c.bak").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, mode);
    }
}
#endif

// Passes everything to the real file system but reads in small steps and
// raises the cancel flag at one chosen read.
class CancellingFs : public FileSystem {
public:
    CancellingFs(FileSystem& real, std::atomic<bool>& cancel, long at) : real_(real), cancel_(cancel), at_(at) {}
    bool has_drive_letters() const override { return real_.has_drive_letters(); }
    bool set_current_dir(const char* f) override { return real_.set_current_dir(f); }
    void search(const char* p, SearchSink& s) override { real_.search(p, s); }
    CopyResult copy_new(const char* from, const char* to, const std::atomic<bool>& c) override {
        return real_.copy_new(from, to, c);
    }
    InFile* open_read(const char* name) override {
        wrap_.inner = real_.open_read(name);
        wrap_.owner = this;
        return wrap_.inner ? &wrap_ : nullptr;
    }
    OutFile* open_write(const char* name) override { return real_.open_write(name); }
    long reads = 0;

private:
    struct Wrap : InFile {
        long read(unsigned char* buf, std::size_t n) override {
            if (++owner->reads == owner->at_) owner->cancel_.store(true);
            return inner->read(buf, n < 300 ? n : 300);
        }
        void close() override { inner->close(); }
        InFile* inner = nullptr;
        CancellingFs* owner = nullptr;
    };
    FileSystem& real_;
    std::atomic<bool>& cancel_;
    long at_;
    Wrap wrap_;
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
        CancellingFs cfs(platform_file_system(), cancel, k);
        RunResult r = run(cfs, wildcard_path("*.c"), "4", &cancel);
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

// A real full disk: run by tests/batch_small_disk.sh, which mounts a 100 KiB
// tmpfs and names it in RAVOLIN_SMALL_FS.
TEST(BatchSmallDisk, FullDiskLeavesFilesAsTheyWere) {
    const char* where = std::getenv("RAVOLIN_SMALL_FS");
    if (!where || !*where) RAVOLIN_SKIP("RAVOLIN_SMALL_FS names no small file system");
    const fs::path dir(where);
    const fs::path saved = fs::current_path();
    std::string lf_lines;  // grows by a third when LF becomes CR LF
    for (int i = 0; i < 15360; ++i) lf_lines += "a;\n";
    std::string crlf_lines;
    for (int i = 0; i < 10240; ++i) crlf_lines += "b;\r\n";
    const std::string dir_prefix = dir.string() + kSep;

    // File and backup fit; the converted file does not.
    write_file(dir / "grow.c", lf_lines);
    RunResult r = run(platform_file_system(), dir_prefix + "grow.c");
    EXPECT_EQ(file_lines(r.result), std::multiset<std::string>{"Error: grow.c"});
    EXPECT_EQ(read_file(dir / "grow.c"), lf_lines) << "byte-identical to the original";
    EXPECT_EQ(read_file(dir / "grow.c.bak"), lf_lines);
    fs::current_path(saved);
    fs::remove(dir / "grow.c");
    fs::remove(dir / "grow.c.bak");

    // The backup itself does not fit: no partial backup stays behind, so once
    // there is room again the file converts.
    write_file(dir / "filler", std::string(30 * 1024, 'f'));
    write_file(dir / "fit.c", crlf_lines);
    RunResult refused = run(platform_file_system(), dir_prefix + "fit.c");
    EXPECT_EQ(file_lines(refused.result), std::multiset<std::string>{"Refused   : fit.c"});
    EXPECT_FALSE(fs::exists(dir / "fit.c.bak"));
    EXPECT_EQ(read_file(dir / "fit.c"), crlf_lines);
    fs::current_path(saved);
    fs::remove(dir / "filler");
    RunResult later = run(platform_file_system(), dir_prefix + "fit.c");
    EXPECT_EQ(file_lines(later.result), std::multiset<std::string>{"Non conv.: fit.c"});
    fs::current_path(saved);
    fs::remove(dir / "fit.c");
    fs::remove(dir / "fit.c.bak");
}

}  // namespace
}  // namespace ravolin::test
