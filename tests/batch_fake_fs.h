// An in-memory tree of folders behind the batch run's file-system seam. Any
// single operation can be made to fail the way real disks do, or to raise
// the run's cancel flag. Paths are kept absolute with '/' between folders
// ('\\' separates too, read by the lead bytes); a relative path lies in cwd.
// A folder exists when it was added or holds an entry.
#pragma once
#include <atomic>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "batch/file_system.h"

namespace ravolin::test {

class FakeFs : public FileSystem {
public:
    struct Entry {
        std::string data;
        bool directory = false;
        bool shared = false;  // reached by another hard link too
        bool link = false;    // a folder: a symbolic link to one
        bool special = false; // a pipe or device: never to be read
        long long mtime = 0;
        unsigned long long id = 0;
    };
    enum class Op {
        kAny, kStat, kResolve, kCopy, kCreate, kOpenRead, kOpenWrite, kRead, kWrite, kClose, kFlush,
        kRenameNew, kRenameReplace, kRemove,
    };
    // The nth operation of kind op (kAny: of any kind), counted over the
    // whole run, fails with error; with persist, every later one of that
    // kind too. With cancel it raises *cancel_target instead and goes on.
    struct Fault {
        Op op = Op::kAny;
        long nth = 0;  // 0: no fault
        FsError error = FsError::kIo;
        bool persist = false;
        bool cancel = false;
        bool source = false;  // a failing copy blames the file copied from
        // Instead of failing: another program appends a line to this file.
        std::string append_to = {};
        // Instead of failing: a write has every 'Q' written as 'R'.
        bool corrupt = false;
        // Instead of failing: the process dies here (Killed is thrown, and
        // nothing it does afterwards reaches the files).
        bool kill = false;
    };
    struct Killed {};

    // Paths in the order the search returns them (not sorted: the run must
    // keep the search's order).
    std::vector<std::string> order;
    std::map<std::string, Entry> files;
    std::string cwd = "/w/";

    void add(const std::string& path, const std::string& data, bool shared = false);
    void add_dir(const std::string& path, bool link = false);
    bool has(const std::string& path) const { return files.count(key(path)) != 0; }
    const std::string& data(const std::string& path) { return files.at(key(path)).data; }
    // Names of the run's temporary files now present, in any folder.
    std::vector<std::string> temps() const;
    // path as kept: absolute, '/' between folders.
    std::string key(const std::string& path) const;

    // Knobs.
    Fault fault;
    std::atomic<bool>* cancel_target = nullptr;
    std::size_t read_chunk = 0;  // when non-zero, bytes per read
    int flush_ms = 0;            // every flush then takes this long, as on a slow disk
    bool drive_letters = false;
    bool code_page_932 = false;             // names are Shift-JIS, not single bytes
    std::set<std::string> unreadable_folders;  // as kept, ending in '/': search fails
    FsError unreadable_error = FsError::kIo;   // why it fails
    std::set<unsigned long> live_processes;

    // What the run asked for: "FOLDER|PATTERN" of every search, the folder
    // as given.
    std::vector<std::string> searches;
    long ops = 0;
    std::map<Op, long> op_counts;

    bool has_drive_letters() const override { return drive_letters; }
    const LeadBytes& lead_bytes() const override {
        return code_page_932 ? kCodePage932LeadBytes : kNoLeadBytes;
    }
    bool search(const char* folder, const char* pattern, SearchSink& sink) override;
    FsError search_error() const override { return search_error_; }
    // A process starts again after a kill: the files stay as the dead one
    // left them, its open files are gone.
    void restart();
    bool absolute_folder(const char* folder, char* out, std::size_t cap) override;
    bool is_folder(const char* path) override;
    void subfolders(const char* folder, std::vector<std::string>& names) override;
    FsError stat(const char* name, FileInfo* info) override;
    FsError resolve(const char* name, char* target, std::size_t cap) override;
    CopyResult copy_new(const char* from, const char* to, const std::atomic<bool>& cancel) override;
    InFile* open_read(const char* name) override;
    OutFile* open_write(const char* name) override;
    OutFile* create_new(const char* name, const FileInfo& like, FsError* error) override;
    // Flushes at once (the operations count in the order they are asked for).
    void start_flush(const char* const* names, int count, FsError* results) override;
    void finish_flush() override {}
    FsError rename_new(const char* from, const char* to) override;
    FsError rename_replace(const char* from, const char* to) override;
    FsError remove(const char* name) override;
    unsigned long process_id() override { return 7; }
    bool process_alive(unsigned long id) override { return live_processes.count(id) != 0; }

private:
    // Counts an operation; true when it is the one to fail.
    bool strikes(Op op);
    static FileInfo info_of(const Entry& e);
    void put(const std::string& path, const Entry& e);
    void erase(const std::string& path);
    Entry fresh(const std::string& data) {
        Entry e;
        e.data = data;
        e.mtime = ++clock_;
        e.id = ++next_id_;
        return e;
    }
    // The folder of a path as kept, ending in '/'.
    static std::string parent(const std::string& kept);

    class In : public InFile {
    public:
        long read(unsigned char* buf, std::size_t n) override;
        void close() override { open = false; }
        FakeFs* fs = nullptr;
        std::string data;
        std::size_t pos = 0;
        bool open = false;
    };
    class Out : public OutFile {
    public:
        bool write(const unsigned char* buf, std::size_t n) override;
        bool close() override;
        FakeFs* fs = nullptr;
        std::string name;
        bool ok = true, open = false;
    };
    In in_[2];
    Out out_;
    long long clock_ = 0;
    unsigned long long next_id_ = 0;
    FsError search_error_ = FsError::kIo;
    bool dead_ = false;
};

}  // namespace ravolin::test
