// An in-memory folder behind the batch run's file-system seam. Any single
// operation can be made to fail the way real disks do, or to raise the
// run's cancel flag.
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
    };

    // Names in the order the search returns them (not sorted: the run must
    // keep the search's order).
    std::vector<std::string> order;
    std::map<std::string, Entry> files;

    void add(const std::string& name, const std::string& data, bool shared = false);
    void add_dir(const std::string& name);
    bool has(const std::string& name) const { return files.count(name) != 0; }
    const std::string& data(const std::string& name) { return files.at(name).data; }
    // Names of the run's temporary files now present.
    std::vector<std::string> temps() const;

    // Knobs.
    Fault fault;
    std::atomic<bool>* cancel_target = nullptr;
    std::size_t read_chunk = 0;  // when non-zero, bytes per read
    bool drive_letters = false;
    bool code_page_932 = false;             // names are Shift-JIS, not single bytes
    std::set<std::string> missing_folders;  // set_current_dir fails
    std::set<unsigned long> live_processes;

    // What the run asked for.
    std::vector<std::string> dirs_set;
    std::vector<std::string> patterns;
    long ops = 0;
    std::map<Op, long> op_counts;

    bool has_drive_letters() const override { return drive_letters; }
    const LeadBytes& lead_bytes() const override {
        return code_page_932 ? kCodePage932LeadBytes : kNoLeadBytes;
    }
    bool set_current_dir(const char* folder) override;
    void search(const char* pattern, SearchSink& sink) override;
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
    void put(const std::string& name, const Entry& e);
    void erase(const std::string& name);
    Entry fresh(const std::string& data) { return Entry{data, false, false, ++clock_, ++next_id_}; }

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
};

}  // namespace ravolin::test
