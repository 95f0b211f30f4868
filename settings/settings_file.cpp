#include "settings/settings_file.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "base/bounded_text.h"
#include "settings/window_data.h"

namespace ravolin {
namespace {

const char kExeName[] = "Ravolin.exe";  // resolved, then "exe" becomes "ini"
// The new file is written under "Ravolin.ini.N.tmp", N the first number from
// 1 that names no file yet, and then replaces the old one.
constexpr int kTempNames = 100;
constexpr std::size_t kTempSuffixSize = sizeof ".100.tmp";

// Bytes that stand for LF and CR inside a slot's line.
constexpr char kStoredLf = 0x07;
constexpr char kStoredCr = 0x0B;

// A slot whose text the ANSI code page cannot hold is stored as UTF-8 after
// this mark (a UTF-8 byte order mark). An earlier version reads such a line
// as a few odd characters before the name, so a file pattern stored so
// names no file there, least of all the files a '?' in its place would have
// matched.
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr std::size_t kUtf8MarkLen = sizeof kUtf8Mark - 1;

char g_settings_path[kSettingsPathSize];

// One line of the file without its line end (at most 31999 bytes), and one
// line to write (a slot's 31999 bytes and CR LF).
char g_line[kSlotSize];
char g_out[kSlotSize + kUtf8MarkLen + 2];

// Reads one line; CR LF or LF ends it, a lone CR is kept as a byte. Keeps
// what fits in g_line and reads a longer line to its end, so the next read
// starts at the next line whatever this one held. False at the end of input
// when nothing was read.
bool read_line(std::FILE* in) {
    std::size_t n = 0;
    bool any = false;
    for (;;) {
        int c = std::getc(in);
        if (c == EOF) break;
        any = true;
        if (c == '\n') break;
        if (c == '\r') {
            int d = std::getc(in);
            if (d == '\n') break;
            if (d != EOF) std::ungetc(d, in);
        }
        if (n + 1 < sizeof g_line) g_line[n++] = static_cast<char>(c);
    }
    g_line[n] = '\0';
    return any;
}

bool is_blank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Leading decimal integer of a text: blanks skipped, optional sign, digits;
// 0 without digits; clamped to the 32-bit range.
std::int32_t leading_int(const char* text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (is_blank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > limit) value = limit;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

void read_body(std::FILE* in, SettingsPlatform& platform) {
    if (!read_line(in)) return;
    const std::int32_t int_count = leading_int(g_line);
    for (std::int32_t i = 0; i < int_count; ++i) {
        if (!read_line(in)) return;
        if (i < kSettingCount) g_settings[i] = leading_int(g_line);
    }
    if (!read_line(in)) return;
    const std::int32_t text_count = leading_int(g_line);
    for (std::int32_t i = 0; i < text_count; ++i) {
        if (!read_line(in)) return;
        if (!is_slot_index(i)) continue;
        std::string text;
        if (std::strncmp(g_line, kUtf8Mark, kUtf8MarkLen) == 0) {
            text = g_line + kUtf8MarkLen;
        } else {
            platform.from_file_text(g_line, text);
        }
        // Text that grew in UTF-8 is cut at a character's start.
        std::size_t n = text.size();
        if (n > kSlotSize - 1) {
            n = kSlotSize - 1;
            while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
        }
        char* slot = g_text_slots[i];
        for (std::size_t k = 0; k < n; ++k) {
            char c = text[k];
            slot[k] = c == kStoredLf ? '\n' : c == kStoredCr ? '\r' : c;
        }
        slot[n] = '\0';
    }
}

bool write_all(std::FILE* out, const char* bytes, std::size_t n) {
    return std::fwrite(bytes, 1, n, out) == n;
}

bool write_number_line(std::FILE* out, std::int32_t value) {
    char text[16];
    int n = std::snprintf(text, sizeof text, "%d\r\n", static_cast<int>(value));
    return n > 0 && static_cast<std::size_t>(n) < sizeof text &&
           write_all(out, text, static_cast<std::size_t>(n));
}

// A slot as one line: at most 31999 bytes of it even if its NUL went
// missing, in the ANSI code page where that holds it exactly, else marked
// UTF-8.
bool write_slot_line(std::FILE* out, const char* slot, SettingsPlatform& platform) {
    const std::string text(slot, strnlen(slot, kSlotSize - 1));
    std::string bytes;
    // A text that itself begins with the mark gets one more, so that reading
    // takes off only the one written here.
    const bool marked_already = text.compare(0, kUtf8MarkLen, kUtf8Mark) == 0;
    if (marked_already || !platform.to_file_text(text.c_str(), bytes)) bytes = kUtf8Mark + text;
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n; ++i) {
        char c = bytes[i];
        g_out[i] = c == '\n' ? kStoredLf : c == '\r' ? kStoredCr : c;
    }
    g_out[n] = '\r';
    g_out[n + 1] = '\n';
    return write_all(out, g_out, n + 2);
}

}  // namespace

bool form_settings_path(SettingsPlatform& platform) {
    g_settings_path[0] = '\0';
    char full[kSettingsPathSize];
    full[0] = '\0';
    std::size_t n = platform.full_path_name(kExeName, full, sizeof full);
    if (n == 0 || n >= sizeof full) return false;
    full[sizeof full - 1] = '\0';
    std::size_t len = std::strlen(full);
    if (len < 3) return false;
    std::memcpy(full + len - 3, "ini", 3);
    return copy_text(g_settings_path, sizeof g_settings_path, full);
}

const char* settings_path() { return g_settings_path; }

void read_settings(std::FILE* in) { read_settings(in, platform_settings_platform()); }

void read_settings(std::FILE* in, SettingsPlatform& platform) {
    if (in) read_body(in, platform);
    // The rest of the program knows only 0 (Japanese) and 1 (English).
    if (g_settings[kSettingLanguage] > 1 || g_settings[kSettingLanguage] < 0)
        g_settings[kSettingLanguage] = 0;
}

void load_settings(SettingsPlatform& platform) {
    std::FILE* in = nullptr;
    if (form_settings_path(platform)) in = std::fopen(g_settings_path, "rb");
    read_settings(in, platform);
    if (in) std::fclose(in);
}

void load_settings() { load_settings(platform_settings_platform()); }

bool write_settings(std::FILE* out) { return write_settings(out, platform_settings_platform()); }

bool write_settings(std::FILE* out, SettingsPlatform& platform) {
    bool ok = write_number_line(out, kSettingCount);
    for (std::int32_t value : g_settings) ok = ok && write_number_line(out, value);
    ok = ok && write_number_line(out, kSlotCount);
    for (const auto& slot : g_text_slots) ok = ok && write_slot_line(out, slot, platform);
    return ok;
}

namespace {

// Creates the temporary file beside the settings file under a name that no
// file has (a user's own file named like ours is never touched) and puts
// that name into temp. Null when none could be made.
std::FILE* create_temp(SettingsPlatform& platform, char* temp, std::size_t cap) {
    for (int n = 1; n <= kTempNames; ++n) {
        char suffix[kTempSuffixSize];
        std::snprintf(suffix, sizeof suffix, ".%d.tmp", n);
        copy_text(temp, cap, g_settings_path);
        if (!append_text(temp, cap, suffix)) return nullptr;
        errno = 0;
        if (std::FILE* f = platform.create_new(temp)) return f;
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

}  // namespace

bool save_settings(SettingsPlatform& platform, const WindowRect* rect) {
    if (g_settings_path[0] == '\0') return false;
    char temp[kSettingsPathSize + kTempSuffixSize];
    std::FILE* out = create_temp(platform, temp, sizeof temp);
    if (!out) return false;
    // An existing file that cannot be opened for writing stays as it is:
    // replacing it would go around whatever protects it.
    errno = 0;
    if (std::FILE* probe = std::fopen(g_settings_path, "r+b")) {
        std::fclose(probe);
    } else if (errno != ENOENT) {
        std::fclose(out);
        std::remove(temp);
        return false;
    }

    if (rect) {
        g_settings[kSettingLeft] = rect->left;
        g_settings[kSettingTop] = rect->top;
        g_settings[kSettingRight] = rect->right;
        g_settings[kSettingBottom] = rect->bottom;
    }
    bool ok = write_settings(out, platform);
    // A full disk may show only when the buffered bytes go out at the close.
    ok = (std::fclose(out) == 0) && ok;
    if (!ok || !platform.replace_file(temp, g_settings_path)) {
        std::remove(temp);
        return false;
    }
    return true;
}

bool save_settings(const WindowRect* rect) { return save_settings(platform_settings_platform(), rect); }

}  // namespace ravolin
