#include "batch/temp_name.h"

#include <cstdio>
#include <cstring>

#include "base/bounded_text.h"

namespace ravolin {
namespace {

constexpr char kPrefix[] = ".ravolin-";
constexpr char kSuffix[] = ".tmp";
constexpr char kMarkSuffix[] = ".todo.tmp";
constexpr std::size_t kMarkSuffixLen = sizeof kMarkSuffix - 1;
constexpr std::size_t kPrefixLen = sizeof kPrefix - 1;
constexpr std::size_t kSuffixLen = sizeof kSuffix - 1;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Leftovers of killed runs in one folder: at most this many per search.
constexpr int kMaxLeftovers = 64;
constexpr std::size_t kLeftoverNameSize = 64;

class LeftoverCollector : public SearchSink {
public:
    explicit LeftoverCollector(FileSystem& fs) : fs_(&fs), own_(fs.process_id()) {}
    bool take(const FoundEntry& entry) override {
        unsigned long pid;
        if (entry.directory || !temp_name_owner(entry.name, &pid)) return true;
        if (pid != own_ && fs_->process_alive(pid)) return true;  // another run's, still in use
        if (!copy_text(names[count], kLeftoverNameSize, entry.name)) return true;
        temp_name_owner(entry.name, &pid, &marks[count]);
        return ++count < kMaxLeftovers;
    }
    char names[kMaxLeftovers][kLeftoverNameSize];
    bool marks[kMaxLeftovers];
    int count = 0;

private:
    FileSystem* fs_;
    unsigned long own_;
};

// Whether a and b hold the same bytes; false when either cannot be read.
bool same_bytes(FileSystem& fs, const char* a, const char* b) {
    static unsigned char block_a[1 << 14], block_b[1 << 14];
    InFile* in_a = fs.open_read(a);
    if (!in_a) return false;
    InFileCloser a_closer(in_a);
    InFile* in_b = fs.open_read(b);
    if (!in_b) return false;
    InFileCloser b_closer(in_b);
    for (;;) {
        const long n = in_a->read(block_a, sizeof block_a);
        if (n < 0) return false;
        long m = 0;
        while (m < n) {  // b may come in smaller pieces
            const long got = in_b->read(block_b + m, static_cast<std::size_t>(n - m));
            if (got <= 0) return false;
            m += got;
        }
        if (n == 0) return in_b->read(block_b, 1) == 0;
        if (std::memcmp(block_a, block_b, static_cast<std::size_t>(n)) != 0) return false;
    }
}

// The unfinished work a mark names, in folder: see remove_leftover_temps.
void finish_marked(FileSystem& fs, const char* folder, const char* mark) {
    static char name[kRunPathSize], path[kRunPathSize], backup[kRunPathSize];
    InFile* in = fs.open_read(mark);
    if (!in) return;
    long n = in->read(reinterpret_cast<unsigned char*>(name), sizeof name - 1);
    in->close();
    if (n <= 0) return;  // a mark cut short by a power cut names nothing
    name[n] = '\0';
    if (std::strlen(name) != static_cast<std::size_t>(n)) return;
    if (!copy_text(path, sizeof path, folder) || !append_text(path, sizeof path, name) ||
        !copy_text(backup, sizeof backup, path) || !append_text(backup, sizeof backup, ".bak")) {
        return;
    }
    FileInfo file, bak;
    if (fs.stat(path, &file) != FsError::kNone || fs.stat(backup, &bak) != FsError::kNone || !bak.regular) return;
    const bool itself = file.device == bak.device && file.id == bak.id;
    if (itself || (file.size == bak.size && same_bytes(fs, path, backup))) fs.remove(backup);
}

}  // namespace

FsError write_mark(FileSystem& fs, const char* mark, const char* name) {
    FileInfo like;
    like.attributes = 0600;
    like.owner = like.group = static_cast<unsigned long>(-1);  // whoever runs this
    FsError error;
    OutFile* out = fs.create_new(mark, like, &error);
    if (!out) return error;
    const bool written = out->write(reinterpret_cast<const unsigned char*>(name), std::strlen(name));
    if (out->close() && written) return FsError::kNone;
    fs.remove(mark);
    return FsError::kIo;
}

void remove_leftover_temps(FileSystem& fs, const char* folder) {
    LeftoverCollector collector(fs);
    char path[kRunPathSize];
    // Bounded: names that cannot be removed are found again on every pass.
    for (int pass = 0; pass < 8; ++pass) {
        collector.count = 0;
        fs.search(folder, kTempPattern, collector);
        for (int i = 0; i < collector.count; ++i) {
            if (copy_text(path, sizeof path, folder) && append_text(path, sizeof path, collector.names[i])) {
                if (collector.marks[i]) finish_marked(fs, folder, path);
                fs.remove(path);
            }
        }
        if (collector.count < kMaxLeftovers) break;
    }
}


bool make_temp_name(char* out, std::size_t cap, const char* folder, std::size_t folder_len,
                    unsigned long pid, unsigned long serial, bool mark) {
    if (folder_len >= cap) return false;
    std::memcpy(out, folder, folder_len);
    const std::size_t room = cap - folder_len;
    const int n =
        std::snprintf(out + folder_len, room, "%s%lu-%lu%s", kPrefix, pid, serial, mark ? kMarkSuffix : kSuffix);
    return n > 0 && static_cast<std::size_t>(n) < room;
}

bool temp_name_owner(const char* name, unsigned long* pid, bool* mark) {
    const std::size_t len = std::strlen(name);
    if (len < kPrefixLen + kSuffixLen + 3 || std::memcmp(name, kPrefix, kPrefixLen) != 0 ||
        std::memcmp(name + len - kSuffixLen, kSuffix, kSuffixLen) != 0) {
        return false;
    }
    const bool marked = len >= kPrefixLen + kMarkSuffixLen + 3 &&
                        std::memcmp(name + len - kMarkSuffixLen, kMarkSuffix, kMarkSuffixLen) == 0;
    if (mark) *mark = marked;
    // PID-SERIAL, both decimal.
    const char* p = name + kPrefixLen;
    const char* end = name + len - (marked ? kMarkSuffixLen : kSuffixLen);
    unsigned long value = 0;
    const char* digits = p;
    for (; p < end && is_digit(*p); ++p) value = value * 10 + static_cast<unsigned long>(*p - '0');
    if (p == digits || p == end || *p != '-' || p - digits > 10) return false;
    const char* serial = ++p;
    while (p < end && is_digit(*p)) ++p;
    if (p == serial || p != end) return false;
    *pid = value;
    return true;
}

}  // namespace ravolin
