// The files a run has reached, by device and file id, so that a file met
// again under another name (a symbolic or hard link, a folder reached twice)
// is converted once (and, for --check and --diff, looked at once).
#pragma once
#include <unordered_map>

#include "batch/file_system.h"

namespace ravolin {

class SeenFiles {
public:
    void clear() { first_.clear(); }
    // The list entry that first reached the file of info, or entry itself
    // when this is the first time (it is then remembered).
    int first_entry(const FileInfo& info, int entry);

private:
    struct Key {
        unsigned long long device, id;
        bool operator==(const Key& o) const { return device == o.device && id == o.id; }
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const {
            return static_cast<std::size_t>(k.id * 0x9E3779B97F4A7C15ull ^ k.device);
        }
    };
    // Grows with the list, which has no fixed length on the command line.
    std::unordered_map<Key, int, KeyHash> first_;
};

}  // namespace ravolin
