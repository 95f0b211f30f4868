#include "tests/batch_fake_fs.h"

#include <algorithm>
#include <cstring>

#include "batch/temp_name.h"
#include "batch/wildcard.h"

namespace ravolin::test {

void FakeFs::add(const std::string& name, const std::string& data, bool shared) {
    Entry e = fresh(data);
    e.shared = shared;
    put(name, e);
}

void FakeFs::add_dir(const std::string& name) {
    Entry e = fresh("");
    e.directory = true;
    put(name, e);
}

std::vector<std::string> FakeFs::temps() const {
    std::vector<std::string> t;
    for (const std::string& name : order) {
        if (is_temp_name(name.c_str())) t.push_back(name);
    }
    return t;
}

bool FakeFs::strikes(Op op) {
    ++ops;
    const long of_kind = ++op_counts[op];
    const long n = fault.op == Op::kAny ? ops : fault.op == op ? of_kind : 0;
    if (fault.nth == 0 || n == 0 || !(n == fault.nth || (fault.persist && n > fault.nth))) return false;
    if (fault.corrupt) return true;  // the write corrupts instead of failing
    if (!fault.append_to.empty()) {
        Entry& e = files.at(fault.append_to);
        e.data += "appended;\n";
        e.mtime = ++clock_;
        return false;
    }
    if (!fault.cancel) return true;
    cancel_target->store(true);
    return false;
}

void FakeFs::put(const std::string& name, const Entry& e) {
    if (!has(name)) order.push_back(name);
    files[name] = e;
}

void FakeFs::erase(const std::string& name) {
    files.erase(name);
    order.erase(std::find(order.begin(), order.end(), name));
}

bool FakeFs::set_current_dir(const char* folder) {
    dirs_set.push_back(folder);
    return missing_folders.count(folder) == 0;
}

void FakeFs::search(const char* pattern, SearchSink& sink) {
    patterns.push_back(pattern);
    const std::vector<std::string> names = order;  // the sink may not change the folder, but be safe
    for (const std::string& name : names) {
        if (!wildcard_match(pattern, name.c_str())) continue;
        if (!sink.take(FoundEntry{name.c_str(), files.at(name).directory})) return;
    }
}

FileInfo FakeFs::info_of(const Entry& e) {
    return FileInfo{static_cast<long long>(e.data.size()), e.mtime, 1, e.id, e.shared, 0644, 0, 0};
}

FsError FakeFs::stat(const char* name, FileInfo* info) {
    if (strikes(Op::kStat)) return fault.error;
    auto f = files.find(name);
    if (f == files.end()) return FsError::kNotFound;
    *info = info_of(f->second);
    return FsError::kNone;
}

FsError FakeFs::resolve(const char* name, char* target, std::size_t cap) {
    if (strikes(Op::kResolve)) return fault.error;
    if (std::strlen(name) >= cap) return FsError::kNameTooLong;
    std::strcpy(target, name);
    return FsError::kNone;
}

CopyResult FakeFs::copy_new(const char* from, const char* to, const std::atomic<bool>& cancel) {
    CopyResult r;
    // A copy that fails part-way leaves nothing behind, like the real ones.
    if (strikes(Op::kCopy)) {
        r.error = fault.error;
        r.source = fault.source;
        return r;
    }
    if (cancel.load()) {
        r.error = FsError::kCancelled;
        return r;
    }
    auto src = files.find(from);
    if (src == files.end() || src->second.directory) {
        r.error = FsError::kNotFound;
        r.source = true;
        return r;
    }
    if (has(to)) {
        r.error = FsError::kExists;
        return r;
    }
    r.info = info_of(src->second);
    put(to, fresh(src->second.data));
    return r;
}

InFile* FakeFs::open_read(const char* name) {
    if (strikes(Op::kOpenRead)) return nullptr;
    auto f = files.find(name);
    In* in = !in_[0].open ? &in_[0] : !in_[1].open ? &in_[1] : nullptr;
    if (!in || f == files.end() || f->second.directory) return nullptr;
    in->fs = this;
    in->data = f->second.data;
    in->pos = 0;
    in->open = true;
    return in;
}

OutFile* FakeFs::open_write(const char* name) {
    if (strikes(Op::kOpenWrite) || out_.open) return nullptr;
    // Rewritten where it is: the same file, emptied.
    Entry e = has(name) ? files[name] : fresh("");
    e.data.clear();
    e.mtime = ++clock_;
    put(name, e);
    out_.fs = this;
    out_.name = name;
    out_.ok = true;
    out_.open = true;
    return &out_;
}

OutFile* FakeFs::create_new(const char* name, const FileInfo&, FsError* error) {
    *error = FsError::kNone;
    if (strikes(Op::kCreate)) *error = fault.error;
    else if (has(name)) *error = FsError::kExists;
    else if (out_.open) *error = FsError::kIo;
    if (*error != FsError::kNone) return nullptr;
    put(name, fresh(""));
    out_.fs = this;
    out_.name = name;
    out_.ok = true;
    out_.open = true;
    return &out_;
}

void FakeFs::start_flush(const char* const* names, int count, FsError* results) {
    for (int i = 0; i < count; ++i) {
        results[i] = strikes(Op::kFlush) ? fault.error : has(names[i]) ? FsError::kNone : FsError::kNotFound;
    }
}

FsError FakeFs::rename_new(const char* from, const char* to) {
    if (strikes(Op::kRenameNew)) return fault.error;
    if (!has(from)) return FsError::kNotFound;
    if (has(to)) return FsError::kExists;
    const Entry e = files[from];
    erase(from);
    put(to, e);
    return FsError::kNone;
}

FsError FakeFs::rename_replace(const char* from, const char* to) {
    if (strikes(Op::kRenameReplace)) return fault.error;
    if (!has(from) || !has(to)) return FsError::kNotFound;
    const Entry e = files[from];
    erase(from);
    files[to] = e;  // keeps its place in the search order
    return FsError::kNone;
}

FsError FakeFs::remove(const char* name) {
    if (strikes(Op::kRemove)) return fault.error;
    if (!has(name)) return FsError::kNotFound;
    erase(name);
    return FsError::kNone;
}

long FakeFs::In::read(unsigned char* buf, std::size_t n) {
    if (fs->strikes(Op::kRead)) return -1;
    if (fs->read_chunk && n > fs->read_chunk) n = fs->read_chunk;
    if (n > data.size() - pos) n = data.size() - pos;
    std::memcpy(buf, data.data() + pos, n);
    pos += n;
    return static_cast<long>(n);
}

bool FakeFs::Out::write(const unsigned char* buf, std::size_t n) {
    Entry& e = fs->files[name];
    std::string bytes(reinterpret_cast<const char*>(buf), n);
    if (fs->strikes(Op::kWrite)) {
        if (!fs->fault.corrupt) {
            // A full disk takes part and refuses the rest.
            e.data += bytes.substr(0, n / 2);
            ok = false;
            return false;
        }
        for (char& c : bytes) c = c == 'Q' ? 'R' : c;
    }
    e.data += bytes;
    e.mtime = ++fs->clock_;
    return ok;
}

bool FakeFs::Out::close() {
    open = false;
    if (fs->strikes(Op::kClose)) ok = false;
    return ok;
}

}  // namespace ravolin::test
