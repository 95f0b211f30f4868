#include "tests/batch_fake_fs.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "batch/temp_name.h"
#include "batch/wildcard.h"
#include "base/path_text.h"

namespace ravolin::test {

std::string FakeFs::key(const std::string& path) const {
    std::string kept;
    const char* p = path.c_str();
    const bool drive = drive_letters && path.size() >= 2 && path[1] == ':';
    if (drive) {
        // Each drive's current folder is its root.
        kept = path.substr(0, 2) + "/";
        p += 2;
    } else if (path.empty() || (path[0] != '/' && path[0] != '\\')) {
        kept = cwd;
    }
    for (std::size_t n; (n = char_length(p, lead_bytes())) != 0; p += n) {
        if (is_separator(*p, Separators::kBackslashAndSlash)) {
            if (kept.empty() || kept.back() != '/') kept += '/';
        } else {
            kept.append(p, n);
        }
    }
    // "./" names the folder it is in.
    for (std::size_t at; (at = kept.find("/./")) != std::string::npos;) kept.erase(at, 2);
    if (kept.size() >= 2 && kept.compare(kept.size() - 2, 2, "/.") == 0) kept.pop_back();
    return kept;
}

std::string FakeFs::parent(const std::string& kept) {
    std::string folder = kept;
    if (!folder.empty() && folder.back() == '/') folder.pop_back();
    return folder.substr(0, folder.rfind('/') + 1);
}

void FakeFs::add(const std::string& path, const std::string& data, bool shared) {
    Entry e = fresh(data);
    e.shared = shared;
    put(key(path), e);
}

void FakeFs::add_dir(const std::string& path, bool link) {
    Entry e = fresh("");
    e.directory = true;
    e.link = link;
    std::string kept = key(path);
    if (kept.size() > 1 && kept.back() == '/') kept.pop_back();
    put(kept, e);
}

std::vector<std::string> FakeFs::temps() const {
    std::vector<std::string> t;
    for (const std::string& kept : order) {
        const std::string name = kept.substr(parent(kept).size());
        if (is_temp_name(name.c_str())) t.push_back(name);
    }
    return t;
}

void FakeFs::restart() {
    dead_ = false;
    in_[0].open = in_[1].open = out_.open = false;
}

bool FakeFs::strikes(Op op) {
    if (dead_) return true;  // what a dead process would still have done
    ++ops;
    const long of_kind = ++op_counts[op];
    const long n = fault.op == Op::kAny ? ops : fault.op == op ? of_kind : 0;
    if (fault.nth == 0 || n == 0 || !(n == fault.nth || (fault.persist && n > fault.nth))) return false;
    if (fault.kill) {
        dead_ = true;
        throw Killed{};
    }
    if (fault.corrupt) return true;  // the write corrupts instead of failing
    if (!fault.append_to.empty()) {
        Entry& e = files.at(key(fault.append_to));
        e.data += "appended;\n";
        e.mtime = ++clock_;
        return false;
    }
    if (!fault.cancel) return true;
    cancel_target->store(true);
    return false;
}

void FakeFs::put(const std::string& kept, const Entry& e) {
    if (files.count(kept) == 0) order.push_back(kept);
    files[kept] = e;
}

void FakeFs::erase(const std::string& kept) {
    files.erase(kept);
    order.erase(std::find(order.begin(), order.end(), kept));
}

bool FakeFs::search(const char* folder, const char* pattern, SearchSink& sink) {
    searches.push_back(std::string(folder) + "|" + pattern);
    std::string here = key(folder);
    if (here.back() != '/') here += '/';
    if (!is_folder(here.c_str()) || unreadable_folders.count(here) != 0) {
        search_error_ = is_folder(here.c_str()) ? unreadable_error : FsError::kNotFound;
        return false;
    }
    const std::vector<std::string> kept = order;  // the sink may not change the folder, but be safe
    for (const std::string& k : kept) {
        if (parent(k) != here) continue;
        const std::string name = k.substr(here.size());
        if (!wildcard_match(pattern, name.c_str())) continue;
        if (!sink.take(FoundEntry{name.c_str(), files.at(k).directory})) break;
    }
    return true;
}

bool FakeFs::absolute_folder(const char* folder, char* out, std::size_t cap) {
    std::string kept = key(folder);
    if (kept.back() != '/') kept += '/';
    if (kept.size() >= cap) return false;
    std::strcpy(out, kept.c_str());
    return true;
}

bool FakeFs::is_folder(const char* path) {
    std::string kept = key(path);
    if (kept.back() != '/') kept += '/';
    if (kept == cwd) return true;
    auto d = files.find(kept.substr(0, kept.size() - 1));
    if (d != files.end()) return d->second.directory;
    for (const std::string& k : order) {
        if (k.compare(0, kept.size(), kept) == 0) return true;
    }
    return false;
}

void FakeFs::subfolders(const char* folder, std::vector<std::string>& names) {
    names.clear();
    const std::string here = key(folder);
    std::set<std::string> found;
    for (const std::string& k : order) {
        if (k.compare(0, here.size(), here) != 0 || k.size() == here.size()) continue;
        const std::string rest = k.substr(here.size());
        const std::size_t slash = rest.find('/');
        if (slash != std::string::npos) {
            if (files.count(here + rest.substr(0, slash)) == 0) found.insert(rest.substr(0, slash));
        } else if (files.at(k).directory && !files.at(k).link) {
            found.insert(rest);
        }
    }
    names.assign(found.begin(), found.end());
}

FileInfo FakeFs::info_of(const Entry& e) {
    FileInfo info;
    info.size = static_cast<long long>(e.data.size());
    info.mtime = e.mtime;
    info.device = 1;
    info.id = e.id;
    info.shared = e.shared;
    info.regular = !e.directory && !e.special;
    info.attributes = 0644;
    return info;
}

FsError FakeFs::stat(const char* name, FileInfo* info) {
    if (strikes(Op::kStat)) return fault.error;
    auto f = files.find(key(name));
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
    auto src = files.find(key(from));
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
    put(key(to), fresh(src->second.data));
    return r;
}

InFile* FakeFs::open_read(const char* name) {
    if (strikes(Op::kOpenRead)) return nullptr;
    auto f = files.find(key(name));
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
    Entry e = has(name) ? files[key(name)] : fresh("");
    e.data.clear();
    e.mtime = ++clock_;
    put(key(name), e);
    out_.fs = this;
    out_.name = key(name);
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
    put(key(name), fresh(""));
    out_.fs = this;
    out_.name = key(name);
    out_.ok = true;
    out_.open = true;
    return &out_;
}

void FakeFs::start_flush(const char* const* names, int count, FsError* results) {
    for (int i = 0; i < count; ++i) {
        results[i] = strikes(Op::kFlush) ? fault.error : has(names[i]) ? FsError::kNone : FsError::kNotFound;
    }
    // Waited out after the results, so that nothing here touches the files
    // once a cancelled run has stopped waiting.
    if (flush_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(flush_ms));
}

FsError FakeFs::rename_new(const char* from, const char* to) {
    if (strikes(Op::kRenameNew)) return fault.error;
    if (!has(from)) return FsError::kNotFound;
    if (has(to)) return FsError::kExists;
    const Entry e = files[key(from)];
    erase(key(from));
    put(key(to), e);
    return FsError::kNone;
}

FsError FakeFs::rename_replace(const char* from, const char* to) {
    if (strikes(Op::kRenameReplace)) return fault.error;
    if (!has(from) || !has(to)) return FsError::kNotFound;
    const Entry e = files[key(from)];
    erase(key(from));
    files[key(to)] = e;  // keeps its place in the search order
    return FsError::kNone;
}

FsError FakeFs::remove(const char* name) {
    if (strikes(Op::kRemove)) return fault.error;
    if (!has(name)) return FsError::kNotFound;
    erase(key(name));
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
    if (fs->dead_) return false;
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
