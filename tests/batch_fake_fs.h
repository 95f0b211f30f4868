// An in-memory folder behind the batch run's file-system seam, with knobs
// that make single operations fail the way real disks do.
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
    };

    // Names in the order the search returns them (not sorted: the run must
    // keep the search's order).
    std::vector<std::string> order;
    std::map<std::string, Entry> files;

    void add(const std::string& name, const std::string& data) {
        order.push_back(name);
        files[name] = Entry{data, false};
    }
    void add_dir(const std::string& name) {
        order.push_back(name);
        files[name] = Entry{"", true};
    }
    bool has(const std::string& name) const { return files.count(name) != 0; }
    const std::string& data(const std::string& name) { return files.at(name).data; }

    // Knobs. A read, write or close fault strikes once (a restore after it
    // succeeds) unless faults_persist is set.
    bool faults_persist = false;
    bool drive_letters = false;
    bool code_page_932 = false;                    // names are Shift-JIS, not single bytes
    std::set<std::string> missing_folders;         // set_current_dir fails
    std::set<std::string> fail_open_read;          // open_read fails
    std::set<std::string> fail_open_write;         // open_write fails (read-only file)
    std::map<std::string, std::size_t> write_room;  // writes to name fail past this many bytes
    std::set<std::string> fail_close;              // a close of name reports lost bytes
    std::map<std::string, std::size_t> read_room;   // reads of name fail past this many bytes
    std::map<std::string, std::size_t> copy_room;   // copy to name fails after this many bytes
    std::size_t read_chunk = 0;                    // when non-zero, bytes per read
    // When non-zero, the n-th read call (counted over the whole run) sets
    // cancel_target, so a cancel lands between two particular pieces.
    long cancel_at_read = 0;
    std::atomic<bool>* cancel_target = nullptr;

    // What the run asked for.
    std::vector<std::string> dirs_set;
    std::vector<std::string> patterns;
    long reads = 0;

    bool has_drive_letters() const override { return drive_letters; }
    const LeadBytes& lead_bytes() const override {
        return code_page_932 ? kCodePage932LeadBytes : kNoLeadBytes;
    }
    bool set_current_dir(const char* folder) override;
    void search(const char* pattern, SearchSink& sink) override;
    CopyResult copy_new(const char* from, const char* to, const std::atomic<bool>& cancel) override;
    InFile* open_read(const char* name) override;
    OutFile* open_write(const char* name) override;

private:
    class In : public InFile {
    public:
        long read(unsigned char* buf, std::size_t n) override;
        void close() override { open = false; }
        FakeFs* fs = nullptr;
        std::string name, data;
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
    In in_;
    Out out_;
};

}  // namespace ravolin::test
