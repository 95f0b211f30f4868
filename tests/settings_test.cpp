// The settings file: forming its path, loading what a file holds over the
// defaults, the shape of a saved file, round trips, and files cut short.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/bounded_text.h"
#include "base/utf16_text.h"
#include "settings/settings_file.h"
#include "settings/window_data.h"

namespace ravolin {
namespace {

namespace fs = std::filesystem;

std::string read_file(const std::string& path) {
    std::string out;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        std::fclose(f);
    }
    return out;
}

void write_file(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    ASSERT_EQ(std::fclose(f), 0);
}

// Replaces files the platform's way; each test says how names resolve.
struct TestPlatform : SettingsPlatform {
    bool replace_file(const char* from, const char* to) override {
        return platform_settings_platform().replace_file(from, to);
    }
    std::FILE* create_new(const char* path) override {
        return platform_settings_platform().create_new(path);
    }
};

// Resolves names in a folder of the test's own.
class FolderPlatform : public TestPlatform {
public:
    explicit FolderPlatform(std::string folder) : folder_(std::move(folder)) {}
    std::size_t full_path_name(const char* relative, char* out, std::size_t cap) override {
        std::string full = folder_ + "/" + relative;
        if (full.size() >= cap) return full.size() + 1;
        std::memcpy(out, full.c_str(), full.size() + 1);
        return full.size();
    }
private:
    std::string folder_;
};

std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        static int serial = 0;
        dir_ = (fs::temp_directory_path() /
                ("ravolin-settings-" + std::to_string(std::rand()) + "-" + std::to_string(++serial)))
                   .string();
        fs::create_directories(dir_);
        set_default_data();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string ini() const { return dir_ + "/Ravolin.ini"; }
    // Names in the test's folder, sorted: a save leaves no temporary file.
    std::vector<std::string> names() const { return names_in(dir_); }
    // Defaults, then a load of `bytes` as the settings file.
    void load_bytes(const std::string& bytes) {
        write_file(ini(), bytes);
        set_default_data();
        FolderPlatform platform(dir_);
        load_settings(platform);
    }
    bool save(const WindowRect* rect = nullptr) {
        FolderPlatform platform(dir_);
        EXPECT_TRUE(form_settings_path(platform));
        return save_settings(platform, rect);
    }
    std::string dir_;
};

std::string crlf_lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\r\n";
    return out;
}

// A file of the saved layout with the given settings and slots.
std::string file_with(const std::vector<std::string>& ints, const std::vector<std::string>& slots) {
    std::vector<std::string> lines;
    lines.push_back(std::to_string(ints.size()));
    lines.insert(lines.end(), ints.begin(), ints.end());
    lines.push_back(std::to_string(slots.size()));
    lines.insert(lines.end(), slots.begin(), slots.end());
    return crlf_lines(lines);
}

std::vector<std::string> zeros(int n) { return std::vector<std::string>(n, "0"); }

// Default slot texts, by slot.
std::string default_slot(int i) {
    switch (i) {
        case 2: case 3: return ".\\*.c";
        case 10: return "4";
        case 20: return "9";
        default: return "";
    }
}

// ---------------------------------------------------------------- path

TEST_F(SettingsFile, PathIsTheExeNameWithIniInTheResolvedFolder) {
    struct Case { const char* resolved; std::size_t reported; const char* want; };
    const Case cases[] = {
        // resolved by the platform        reported length  settings path
        {"C:\\work\\Ravolin.exe",          20,              "C:\\work\\Ravolin.ini"},
        {"/home/u/Ravolin.exe",            19,              "/home/u/Ravolin.ini"},
        {"",                               0,               ""},  // platform failure
        {"x",                              1000,            ""},  // does not fit 1000 bytes
        {"x",                              5000,            ""},
    };
    struct Fixed : TestPlatform {
        const Case* c;
        std::size_t full_path_name(const char*, char* out, std::size_t cap) override {
            std::snprintf(out, cap, "%s", c->resolved);
            return c->reported;
        }
    } platform;
    for (const Case& c : cases) {
        platform.c = &c;
        EXPECT_EQ(form_settings_path(platform), c.want[0] != '\0') << c.resolved;
        EXPECT_STREQ(settings_path(), c.want) << c.resolved;
    }
}

TEST_F(SettingsFile, PathsOf999BytesAreFormedAnd1000AreNot) {
    struct Case { std::size_t folder_len; bool formed; };
    // "/" and "Ravolin.exe" add 12 bytes to the folder.
    const Case cases[] = {{987, true}, {988, false}, {2000, false}};
    for (const Case& c : cases) {
        FolderPlatform platform(std::string(c.folder_len, 'd'));
        EXPECT_EQ(form_settings_path(platform), c.formed) << c.folder_len;
        EXPECT_EQ(std::strlen(settings_path()), c.formed ? c.folder_len + 12 : 0u);
    }
}

TEST_F(SettingsFile, PlatformPathLiesInTheCurrentDirectory) {
    fs::path before = fs::current_path();
    fs::current_path(dir_);
    bool formed = form_settings_path(platform_settings_platform());
    std::string want = (fs::current_path() / "Ravolin.ini").string();
    fs::current_path(before);
    ASSERT_TRUE(formed);
    EXPECT_EQ(fs::path(settings_path()), fs::path(want));
    EXPECT_TRUE(fs::path(settings_path()).is_absolute());
}

TEST_F(SettingsFile, WithoutAPathNothingIsLoadedOrSaved) {
    write_file(ini(), file_with({"1"}, {"loaded"}));
    struct Failing : TestPlatform {
        std::size_t full_path_name(const char*, char*, std::size_t) override { return 0; }
    } failing;
    load_settings(failing);
    EXPECT_STREQ(settings_path(), "");
    EXPECT_EQ(g_settings[kSettingLanguage], 0);
    EXPECT_STREQ(g_text_slots[0], "");
    EXPECT_FALSE(save_settings(failing, nullptr));
    EXPECT_EQ(read_file(ini()), file_with({"1"}, {"loaded"}));
}

// ---------------------------------------------------------------- load

TEST_F(SettingsFile, NoFileKeepsTheDefaults) {
    g_settings[kSettingLanguage] = 5;  // the language rule applies without a file too
    FolderPlatform platform(dir_);
    load_settings(platform);
    EXPECT_STREQ(settings_path(), ini().c_str());
    EXPECT_EQ(g_settings[kSettingLanguage], 0);
    for (int i = 0; i < kSlotCount; ++i) EXPECT_EQ(g_text_slots[i], default_slot(i)) << i;
}

struct LoadCase {
    const char* name;
    std::string file;
    std::map<int, std::int32_t> settings;   // the others 0
    std::map<int, std::string> slots;       // the others their defaults
};

std::vector<std::string> numbered(const char* prefix, int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(prefix + std::to_string(i));
    return out;
}

std::vector<std::string> ints_from(int first, int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(std::to_string(first + i));
    return out;
}

std::vector<LoadCase> load_cases() {
    std::vector<LoadCase> cases;
    auto ints20 = [](const char* language) {
        std::vector<std::string> v = zeros(20);
        v[0] = language;
        return v;
    };
    // Counts that differ from the written ones.
    {
        std::vector<std::string> ints = ints_from(0, 25);
        ints[0] = "1";
        LoadCase c{"integer count 25 keeps 20", file_with(ints, {"a", "b"}), {}, {{0, "a"}, {1, "b"}}};
        for (int i = 0; i < 20; ++i) c.settings[i] = i == 0 ? 1 : i;
        cases.push_back(c);
    }
    cases.push_back({"integer count 3: fifth line is the string count",
                     crlf_lines({"3", "1", "5", "6", "2", "x", "y"}),
                     {{0, 1}, {1, 5}, {2, 6}}, {{0, "x"}, {1, "y"}}});
    {
        LoadCase c{"string count 30 keeps 21", file_with(zeros(20), numbered("s", 30)), {}, {}};
        for (int i = 0; i < 21; ++i) c.slots[i] = "s" + std::to_string(i);
        cases.push_back(c);
    }
    {
        LoadCase c{"string count 5 fills slots 0-4", file_with(zeros(20), numbered("s", 5)), {}, {}};
        for (int i = 0; i < 5; ++i) c.slots[i] = "s" + std::to_string(i);
        cases.push_back(c);
    }
    cases.push_back({"string count 0", crlf_lines({"0", "0", "a"}), {}, {}});
    cases.push_back({"string count -3", crlf_lines({"0", "-3", "a"}), {}, {}});
    cases.push_back({"count without digits reads as 0", crlf_lines({"abc", "1", "a"}), {}, {{0, "a"}}});
    // The language.
    cases.push_back({"language 7 is Japanese", file_with(ints20("7"), {}), {}, {}});
    cases.push_back({"language 1 is English", file_with(ints20("1"), {}), {{0, 1}}, {}});
    cases.push_back({"language -2 is Japanese", file_with(ints20("-2"), {}), {}, {}});
    // Numbers.
    {
        LoadCase c{"count 20abc reads 20", "20abc\r\n" + crlf_lines(ints_from(1, 20)) + "1\r\nz\r\n",
                   {}, {{0, "z"}}};
        for (int i = 0; i < 20; ++i) c.settings[i] = i + 1;
        cases.push_back(c);
    }
    {
        std::vector<std::string> ints = zeros(20);
        ints[1] = " -12";
        ints[2] = "+7x";
        ints[3] = "99999999999";
        ints[4] = "-99999999999";
        ints[5] = "\t-2147483648";
        ints[6] = "- 5";
        cases.push_back({"leading integers, clamped", file_with(ints, {}),
                         {{1, -12}, {2, 7}, {3, 2147483647}, {4, -2147483647 - 1},
                          {5, -2147483647 - 1}, {6, 0}}, {}});
    }
    // Slot bytes.
    cases.push_back({"0x07 and 0x0B are LF and CR",
                     file_with(zeros(20), {"a\x07" "b\x0b\x07" "c", "\x0b"}), {},
                     {{0, "a\nb\r\nc"}, {1, "\r"}}});
    cases.push_back({"LF line ends read like CR LF", "1\n1\n2\nx\ny\n", {{0, 1}}, {{0, "x"}, {1, "y"}}});
    cases.push_back({"a lone CR stays in its line", file_with(zeros(20), {"a\rb"}), {}, {{0, "a\rb"}}});
    cases.push_back({"Ctrl-Z is an ordinary byte", file_with(zeros(20), {"a\x1a" "b", "c"}), {},
                     {{0, "a\x1a" "b"}, {1, "c"}}});
    cases.push_back({"last line without line end keeps all its bytes",
                     "0\r\n2\r\nfirst\r\nlast", {}, {{0, "first"}, {1, "last"}}});
    cases.push_back({"code page 932 bytes unchanged",
                     file_with(zeros(20), {"\x8e\xc0\x8d\x73\x5c"}), {}, {{0, "\x8e\xc0\x8d\x73\x5c"}}});
    // Lines that do not fit a slot.
    cases.push_back({"a long line keeps 31999 bytes and later slots stay",
                     file_with(zeros(20), {std::string(40000, 'x'), "next"}), {},
                     {{0, std::string(31999, 'x')}, {1, "next"}}});
    cases.push_back({"a line of exactly 31999 bytes is kept whole",
                     file_with(zeros(20), {std::string(31999, 'y'), "next"}), {},
                     {{0, std::string(31999, 'y')}, {1, "next"}}});
    cases.push_back({"a long integer line is read to its end",
                     crlf_lines({"2", "1" + std::string(50000, '0'), "3", "1", "z"}),
                     {{0, 0}, {1, 3}}, {{0, "z"}}});
    // Files that end early.
    cases.push_back({"empty file", "", {}, {}});
    cases.push_back({"ends inside the integers", crlf_lines({"20", "1", "2"}), {{0, 1}, {1, 2}}, {}});
    cases.push_back({"ends before the string count", file_with(ints20("1"), {}).substr(0, 45),
                     {{0, 1}}, {}});
    return cases;
}

TEST_F(SettingsFile, LoadCases) {
    for (const LoadCase& c : load_cases()) {
        SCOPED_TRACE(c.name);
        load_bytes(c.file);
        for (int i = 0; i < kSettingCount; ++i) {
            auto it = c.settings.find(i);
            EXPECT_EQ(g_settings[i], it == c.settings.end() ? 0 : it->second) << "setting " << i;
        }
        for (int i = 0; i < kSlotCount; ++i) {
            auto it = c.slots.find(i);
            std::string want = it == c.slots.end() ? default_slot(i) : it->second;
            EXPECT_EQ(std::string(g_text_slots[i]), want) << "slot " << i;
        }
    }
}

// ---------------------------------------------------------------- save

TEST_F(SettingsFile, SavedDefaultsAre43CrLfLinesEndingIn9) {
    ASSERT_TRUE(save());
    std::vector<std::string> lines = {"20"};
    for (int i = 0; i < 20; ++i) lines.push_back("0");
    lines.push_back("21");
    for (int i = 0; i < 21; ++i) lines.push_back(default_slot(i));
    const std::string text = read_file(ini());
    EXPECT_EQ(text, crlf_lines(lines));
    std::size_t crlf = 0, lf = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++lf;
            if (i > 0 && text[i - 1] == '\r') ++crlf;
        }
    }
    EXPECT_EQ(lf, 43u);
    EXPECT_EQ(crlf, 43u);
    EXPECT_EQ(text.substr(text.size() - 5), "\r\n9\r\n");
    EXPECT_EQ(names(), std::vector<std::string>{"Ravolin.ini"});
}

TEST_F(SettingsFile, SaveNeverTouchesAFileNamedLikeItsTemporary) {
    const std::string mine = "a file of the user's\r\n";
    const std::vector<std::string> taken = {"Ravolin.ini.tmp", "Ravolin.ini.1.tmp", "Ravolin.ini.2.tmp"};
    for (const std::string& name : taken) write_file(dir_ + "/" + name, mine);
    ASSERT_TRUE(save());
    for (const std::string& name : taken) EXPECT_EQ(read_file(dir_ + "/" + name), mine) << name;
    EXPECT_EQ(read_file(ini()).substr(0, 4), "20\r\n");
    std::vector<std::string> want = taken;
    want.push_back("Ravolin.ini");
    std::sort(want.begin(), want.end());
    EXPECT_EQ(names(), want);
}

TEST_F(SettingsFile, SaveTakesTheRectangle) {
    struct Case { const char* name; bool with_rect; std::int32_t want[4]; };
    const Case cases[] = {
        {"rectangle stored", true, {-8, 20, 1930, 1090}},
        {"no rectangle: the edges keep their values", false, {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        set_default_data();
        for (int i = 1; i <= 4; ++i) g_settings[i] = i;
        copy_text(g_text_slots[kSlotTabSize], kSlotSize, "8");
        copy_text(g_text_slots[kSlotResult], kSlotSize, "run\r\nline");
        WindowRect rect{-8, 20, 1930, 1090};
        ASSERT_TRUE(save(c.with_rect ? &rect : nullptr));
        EXPECT_STREQ(g_text_slots[kSlotResult], "run\r\nline");  // not encoded in place
        set_default_data();
        FolderPlatform platform(dir_);
        load_settings(platform);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(g_settings[1 + i], c.want[i]) << i;
        EXPECT_STREQ(g_text_slots[kSlotTabSize], "8");
        EXPECT_STREQ(g_text_slots[kSlotResult], "run\r\nline");
    }
}

TEST_F(SettingsFile, RoundTripKeepsSettingsAndSlots) {
    set_default_data();
    const std::int32_t values[kSettingCount] = {1, -5, 7, 2147483647, -2147483647 - 1, 0, 9, 10,
                                                11, 12, 13, 14, 15, 16, 17, 18, 19, 20, -21, 22};
    for (int i = 0; i < kSettingCount; ++i) g_settings[i] = values[i];
    std::string slots[kSlotCount];
    for (int i = 0; i < kSlotCount; ++i) slots[i] = "slot " + std::to_string(i);
    slots[1] = "Converted: a.c(3 tabs, 0 dots)\r\nRefused   : b.c\r\naborted.\n";
    slots[3] = "C:\\src\\*.c";
    slots[5] = "\x8f\x49\x97\xb9 \x95\x5c";  // code page 932 text, second byte 0x5C
    slots[6] = std::string(31999, 'w');
    slots[7] = "";
    slots[8] = "\r\r\n\n";
    for (int i = 0; i < kSlotCount; ++i) copy_text(g_text_slots[i], kSlotSize, slots[i].c_str());
    ASSERT_TRUE(save());

    set_default_data();
    FolderPlatform platform(dir_);
    load_settings(platform);
    for (int i = 0; i < kSettingCount; ++i) EXPECT_EQ(g_settings[i], values[i]) << i;
    for (int i = 0; i < kSlotCount; ++i) EXPECT_EQ(std::string(g_text_slots[i]), slots[i]) << i;

    // Saving again gives the same bytes: the first save left the slots as they were.
    const std::string first = read_file(ini());
    ASSERT_TRUE(save());
    EXPECT_EQ(read_file(ini()), first);
}

TEST_F(SettingsFile, StoredControlBytesComeBackAsLineBreaks) {
    copy_text(g_text_slots[4], kSlotSize, "a\x07" "b\x0b" "c");
    ASSERT_TRUE(save());
    set_default_data();
    FolderPlatform platform(dir_);
    load_settings(platform);
    EXPECT_STREQ(g_text_slots[4], "a\nb\rc");
}

TEST_F(SettingsFile, SaveNeverWritesPastASlot) {
    std::memset(g_text_slots[9], 'z', kSlotSize);  // no NUL anywhere in the slot
    copy_text(g_text_slots[10], kSlotSize, "next");
    ASSERT_TRUE(save());
    set_default_data();
    FolderPlatform platform(dir_);
    load_settings(platform);
    EXPECT_EQ(std::string(g_text_slots[9]), std::string(31999, 'z'));
    EXPECT_STREQ(g_text_slots[10], "next");
    EXPECT_STREQ(g_text_slots[20], "9");
}

TEST_F(SettingsFile, FailedSaveLeavesTheOldFileAndTheSlots) {
    struct Case { const char* name; std::string folder; };
    const Case cases[] = {
        {"folder missing", "/missing-folder"},
        {"settings path is a folder", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_directories(dir_ + "/Ravolin.ini");
        FolderPlatform platform(dir_ + c.folder);
        ASSERT_TRUE(form_settings_path(platform));
        copy_text(g_text_slots[kSlotResult], kSlotSize, "kept");
        EXPECT_FALSE(save_settings(platform, nullptr));
        EXPECT_STREQ(g_text_slots[kSlotResult], "kept");
        if (c.folder.empty()) {
            EXPECT_EQ(names(), std::vector<std::string>{"Ravolin.ini"});
        }
    }
}

#ifndef _WIN32
// A full disk during the save: the old file stays whole. Needs a small tmpfs
// (root); skipped where it cannot be mounted.
TEST_F(SettingsFile, FullDiskLeavesTheOldFile) {
    const std::string mnt = dir_ + "/small";
    fs::create_directories(mnt);
    const std::string mount = "mount -t tmpfs -o size=100k tmpfs '" + mnt + "' 2>/dev/null";
    if (std::system(mount.c_str()) != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
    const std::string old = file_with({"1"}, {"old result"});
    write_file(mnt + "/Ravolin.ini", old);
    for (int i = 0; i < 6; ++i) std::memset(g_text_slots[i], 'f', kSlotSize - 1);
    FolderPlatform platform(mnt);
    ASSERT_TRUE(form_settings_path(platform));
    const bool saved = save_settings(platform, nullptr);
    const std::string after = read_file(mnt + "/Ravolin.ini");
    const std::vector<std::string> left = names_in(mnt);
    std::system(("umount '" + mnt + "'").c_str());
    EXPECT_FALSE(saved);
    EXPECT_EQ(after, old);
    EXPECT_EQ(left, std::vector<std::string>{"Ravolin.ini"});
}
#endif

// ---------------------------------------------------------------- cut short

// A real saved file, cut after every byte, loads what its whole lines hold
// and leaves everything after them at the defaults.
TEST_F(SettingsFile, FileCutAnywhereKeepsDefaultsForTheRest) {
    for (int i = 0; i < kSettingCount; ++i) g_settings[i] = i * 37 - 300;
    g_settings[kSettingLanguage] = 1;
    for (int i = 0; i < kSlotCount; ++i) {
        std::string text = "t" + std::to_string(i) + (i % 3 == 0 ? "\r\nx" : "");
        copy_text(g_text_slots[i], kSlotSize, text.c_str());
    }
    std::int32_t saved_settings[kSettingCount];
    std::memcpy(saved_settings, g_settings, sizeof saved_settings);
    std::vector<std::string> saved_slots;
    for (auto& s : g_text_slots) saved_slots.push_back(s);
    ASSERT_TRUE(save());
    const std::string full = read_file(ini());
    ASSERT_GT(full.size(), 200u);

    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        load_bytes(full.substr(0, cut));
        // Whole lines read; the next line (if any of it is there) is partial.
        std::size_t whole = 0;
        for (std::size_t i = 1; i < cut; ++i) whole += full[i - 1] == '\r' && full[i] == '\n';
        auto state = [&](std::size_t line) {  // 0 default, 1 loaded, 2 partial
            if (line < whole) return 1;
            return line == whole ? 2 : 0;
        };
        for (int i = 0; i < kSettingCount; ++i) {
            int s = state(1 + i);
            if (s == 1) {
                EXPECT_EQ(g_settings[i], saved_settings[i]) << "setting " << i;
            }
            if (s == 0) {
                EXPECT_EQ(g_settings[i], 0) << "setting " << i;
            }
        }
        for (int i = 0; i < kSlotCount; ++i) {
            int s = state(22 + i);
            if (s == 1) {
                EXPECT_EQ(std::string(g_text_slots[i]), saved_slots[i]) << "slot " << i;
            }
            if (s == 0) {
                EXPECT_EQ(std::string(g_text_slots[i]), default_slot(i)) << "slot " << i;
            }
        }
        EXPECT_TRUE(g_settings[kSettingLanguage] == 0 || g_settings[kSettingLanguage] == 1);
        if (HasFailure()) break;
    }
}


// A system whose ANSI code page is Latin-1: U+0000..U+00FF are its bytes.
class Latin1Platform : public FolderPlatform {
public:
    using FolderPlatform::FolderPlatform;
    bool to_file_text(const char* text, std::string& out) override {
        out.clear();
        std::u16string wide;
        if (!utf8_to_utf16(text, std::strlen(text), wide)) return false;
        for (char16_t c : wide) {
            if (c > 0xFF) return false;
            out.push_back(static_cast<char>(c));
        }
        return true;
    }
    void from_file_text(const char* bytes, std::string& out) override {
        out.clear();
        std::u16string wide;
        for (const char* p = bytes; *p; ++p) wide.push_back(static_cast<unsigned char>(*p));
        utf16_to_utf8(wide.data(), wide.size(), out);
    }
};

TEST_F(SettingsFile, SlotsOutsideTheCodePageAreStoredMarkedAndComeBack) {
    struct Case { const char* text; std::string stored; };
    const Case cases[] = {
        // slot 3 (UTF-8)                       its line in the file
        {"C:\\src\\*.c",                        "C:\\src\\*.c"},                     // ASCII: as ever
        {"\xc3\xbcn\xc3\xaf.c",                 "\xfcn\xef.c"},                      // fits: ANSI bytes
        {"C:\\data\xf0\x9f\x98\x80\\*.c",       "\xef\xbb\xbf" "C:\\data\xf0\x9f\x98\x80\\*.c"},  // marked UTF-8
        {"\xe6\x97\xa5\n\xc3\xbc",              "\xef\xbb\xbf\xe6\x97\xa5\x07\xc3\xbc"},  // LF still 0x07
        {"\xef\xbb\xbfx",                          "\xef\xbb\xbf\xef\xbb\xbfx"},         // its own mark kept
    };
    for (const Case& c : cases) {
        set_default_data();
        copy_text(g_text_slots[3], kSlotSize, c.text);
        Latin1Platform platform(dir_);
        ASSERT_TRUE(form_settings_path(platform));
        ASSERT_TRUE(save_settings(platform, nullptr));
        const std::string file = read_file(ini());
        EXPECT_NE(file.find("\r\n" + c.stored + "\r\n"), std::string::npos) << c.text;
        set_default_data();
        load_settings(platform);
        EXPECT_STREQ(g_text_slots[3], c.text);
    }
}

TEST_F(SettingsFile, PreviousVersionsFileLoadsAndSavesUnchanged) {
    // Saved by the version before UTF-8 slots: Latin-1 bytes in slots 0, 2, 3.
    std::vector<std::string> slots;
    for (int i = 0; i < kSlotCount; ++i) slots.push_back(default_slot(i));
    slots[0] = "Converted: \xfcn\xef.c(2 tabs, 0 dots)\x07" "Converted files = 1";
    slots[2] = slots[3] = "C:\\caf\xe9\\*.c";
    const std::string old = file_with({"1", "10", "20", "500", "400", "0", "0", "0", "0", "0",
                                       "0", "0", "0", "0", "0", "0", "0", "0", "0", "0"}, slots);
    write_file(ini(), old);
    set_default_data();
    Latin1Platform platform(dir_);
    load_settings(platform);
    EXPECT_STREQ(g_text_slots[3], "C:\\caf\xc3\xa9\\*.c");
    ASSERT_TRUE(save_settings(platform, nullptr));
    EXPECT_EQ(read_file(ini()), old);
}

}  // namespace
}  // namespace ravolin
