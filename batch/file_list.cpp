#include "batch/file_list.h"

#include <cstring>

#include "base/bounded_text.h"
#include "base/path_text.h"

namespace ravolin {

bool FixedFileList::clear(const char* folder) {
    count_ = 0;
    const bool fits = copy_text(folder_, kRunPathSize, folder);
    folder_len_ = std::strlen(folder_);
    return fits;
}

AddResult FixedFileList::add(const char* name) {
    if (full()) return AddResult::kTooLong;
    char* path = paths_[count_];
    std::memcpy(path, folder_, folder_len_ + 1);
    if (!append_text(path, kRunPathSize, name)) return AddResult::kTooLong;
    ++count_;
    return AddResult::kAdded;
}

std::size_t folder_part_length(const char* wildcard_path, bool drive_letters, const LeadBytes& lead) {
    std::size_t end = after_last_separator(wildcard_path, lead, Separators::kBackslashAndSlash);
    const unsigned char first = static_cast<unsigned char>(wildcard_path[0]);
    if (end == 0 && drive_letters && ((first | 0x20) >= 'a' && (first | 0x20) <= 'z') && wildcard_path[1] == ':') {
        end = 2;
    }
    return end;
}

bool is_backup_name(const char* name) {
    static constexpr char kSuffix[] = ".bak";
    constexpr std::size_t kLen = sizeof kSuffix - 1;
    const std::size_t len = std::strlen(name);
    return len >= kLen && std::memcmp(name + len - kLen, kSuffix, kLen) == 0;
}

}  // namespace ravolin
