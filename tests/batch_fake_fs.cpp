#include "tests/batch_fake_fs.h"

#include <cstring>

#include "batch/wildcard.h"

namespace ravolin::test {

bool FakeFs::set_current_dir(const char* folder) {
    dirs_set.push_back(folder);
    return missing_folders.count(folder) == 0;
}

void FakeFs::search(const char* pattern, SearchSink& sink) {
    patterns.push_back(pattern);
    for (const std::string& name : order) {
        if (!wildcard_match(pattern, name.c_str())) continue;
        if (!sink.take(FoundEntry{name.c_str(), files.at(name).directory})) return;
    }
}

CopyResult FakeFs::copy_new(const char* from, const char* to, const std::atomic<bool>& cancel) {
    if (cancel.load()) return CopyResult::kCancelled;
    auto src = files.find(from);
    if (src == files.end() || src->second.directory || has(to)) return CopyResult::kFailed;
    // A copy that fails part-way leaves nothing behind, like the real ones.
    if (copy_room.count(to) && copy_room[to] < src->second.data.size()) return CopyResult::kFailed;
    order.push_back(to);
    files[to] = Entry{src->second.data, false};
    return CopyResult::kCopied;
}

InFile* FakeFs::open_read(const char* name) {
    auto f = files.find(name);
    if (in_.open || f == files.end() || f->second.directory || fail_open_read.count(name)) return nullptr;
    in_.fs = this;
    in_.name = name;
    in_.data = f->second.data;
    in_.pos = 0;
    in_.open = true;
    return &in_;
}

OutFile* FakeFs::open_write(const char* name) {
    if (out_.open || fail_open_write.count(name)) return nullptr;
    if (!has(name)) order.push_back(name);
    files[name] = Entry{"", false};
    out_.fs = this;
    out_.name = name;
    out_.ok = true;
    out_.open = true;
    return &out_;
}

long FakeFs::In::read(unsigned char* buf, std::size_t n) {
    ++fs->reads;
    if (fs->cancel_target && fs->reads == fs->cancel_at_read) fs->cancel_target->store(true);
    if (fs->read_chunk && n > fs->read_chunk) n = fs->read_chunk;
    if (fs->read_room.count(name) && pos + n > fs->read_room[name]) {
        if (pos >= fs->read_room[name]) {
            if (!fs->faults_persist) fs->read_room.erase(name);
            return -1;
        }
        n = fs->read_room[name] - pos;
    }
    if (n > data.size() - pos) n = data.size() - pos;
    std::memcpy(buf, data.data() + pos, n);
    pos += n;
    return static_cast<long>(n);
}

bool FakeFs::Out::write(const unsigned char* buf, std::size_t n) {
    std::string& d = fs->files[name].data;
    if (fs->write_room.count(name)) {
        std::size_t room = fs->write_room[name];
        if (d.size() + n > room) {
            // A full disk takes what fits and refuses the rest; by the time
            // the file is emptied for its restore, the room is back.
            d.append(reinterpret_cast<const char*>(buf), room > d.size() ? room - d.size() : 0);
            if (!fs->faults_persist) fs->write_room.erase(name);
            ok = false;
            return false;
        }
    }
    d.append(reinterpret_cast<const char*>(buf), n);
    return ok;
}

bool FakeFs::Out::close() {
    open = false;
    if (fs->fail_close.count(name) != 0) {
        if (!fs->faults_persist) fs->fail_close.erase(name);
        return false;
    }
    return ok;
}

}  // namespace ravolin::test
