#include "batch/seen_files.h"

namespace ravolin {

int SeenFiles::first_entry(const FileInfo& info, int entry) {
    return first_.emplace(Key{info.device, info.id}, entry).first->second;
}

}  // namespace ravolin
