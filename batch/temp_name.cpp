#include "batch/temp_name.h"

#include <cstdio>
#include <cstring>

#include "base/bounded_text.h"

namespace ravolin {
namespace {

constexpr char kPrefix[] = ".ravolin-";
constexpr char kSuffix[] = ".tmp";
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
        return ++count < kMaxLeftovers;
    }
    char names[kMaxLeftovers][kLeftoverNameSize];
    int count = 0;

private:
    FileSystem* fs_;
    unsigned long own_;
};

}  // namespace

void remove_leftover_temps(FileSystem& fs, const char* folder) {
    LeftoverCollector collector(fs);
    char path[kRunPathSize];
    // Bounded: names that cannot be removed are found again on every pass.
    for (int pass = 0; pass < 8; ++pass) {
        collector.count = 0;
        fs.search(folder, kTempPattern, collector);
        for (int i = 0; i < collector.count; ++i) {
            if (copy_text(path, sizeof path, folder) && append_text(path, sizeof path, collector.names[i])) {
                fs.remove(path);
            }
        }
        if (collector.count < kMaxLeftovers) break;
    }
}


bool make_temp_name(char* out, std::size_t cap, const char* folder, std::size_t folder_len,
                    unsigned long pid, unsigned long serial) {
    if (folder_len >= cap) return false;
    std::memcpy(out, folder, folder_len);
    const std::size_t room = cap - folder_len;
    const int n = std::snprintf(out + folder_len, room, "%s%lu-%lu%s", kPrefix, pid, serial, kSuffix);
    return n > 0 && static_cast<std::size_t>(n) < room;
}

bool temp_name_owner(const char* name, unsigned long* pid) {
    const std::size_t len = std::strlen(name);
    if (len < kPrefixLen + kSuffixLen + 3 || std::memcmp(name, kPrefix, kPrefixLen) != 0 ||
        std::memcmp(name + len - kSuffixLen, kSuffix, kSuffixLen) != 0) {
        return false;
    }
    // PID-SERIAL, both decimal.
    const char* p = name + kPrefixLen;
    const char* end = name + len - kSuffixLen;
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
