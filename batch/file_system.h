// The narrow file-system seam under the batch run. One implementation talks
// to Win32 (file_system_win32.cpp), one to POSIX (file_system_posix.cpp);
// tests put a fake in between to make disks fill up and reads fail.
#pragma once
#include <atomic>

#include "base/path_text.h"
#include "engine/text_stream.h"

namespace ravolin {

// One entry that a search returned: the bare name, as the platform spells it.
struct FoundEntry {
    const char* name;
    bool directory;
};

class SearchSink {
public:
    virtual ~SearchSink() = default;
    // Takes one entry; false ends the search.
    virtual bool take(const FoundEntry& entry) = 0;
};

// A file open for reading. Stays valid until close().
class InFile : public ByteSource {
public:
    virtual void close() = 0;
};

// A file open for writing. close() says whether every byte reached the file:
// some runtimes only learn of a full disk when the file is closed.
class OutFile : public ByteSink {
public:
    virtual bool close() = 0;
};

// Room for one name or path of the batch run: at most 1009 characters and
// a NUL (a file name, its ".bak" name, the wildcard path).
constexpr int kRunPathSize = 1010;

enum class CopyResult { kCopied, kFailed, kCancelled };

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // True when "X:" at the start of a wildcard path names a drive,
    // which then belongs to the folder part.
    virtual bool has_drive_letters() const { return false; }

    // Bytes that begin a double-byte character in the names this file system
    // takes; their second byte is never a separator.
    virtual const LeadBytes& lead_bytes() const { return system_lead_bytes(); }

    // Makes folder (it may end in a separator; '\\' and '/' both separate)
    // the current directory. False when that failed.
    virtual bool set_current_dir(const char* folder) = 0;

    // Wildcard search ('*' and '?') of pattern, a bare name, in the current
    // directory. Entries come in the platform's order; nothing happens when
    // nothing matches.
    virtual void search(const char* pattern, SearchSink& sink) = 0;

    // Copies from to a new file to. Never overwrites: an existing `to` makes
    // the copy fail. A copy that fails or is cancelled part-way leaves no
    // `to` behind. cancel is looked at while the bytes move.
    virtual CopyResult copy_new(const char* from, const char* to,
                                const std::atomic<bool>& cancel) = 0;

    // Open for reading / for writing (created, or emptied when it exists).
    // nullptr on failure. At most one file of each kind is open at a time.
    virtual InFile* open_read(const char* name) = 0;
    virtual OutFile* open_write(const char* name) = 0;
};

// Win32 implementation on Windows, POSIX elsewhere.
FileSystem& platform_file_system();

// Closes an InFile / OutFile when the scope ends, unless closed before.
class InFileCloser {
public:
    explicit InFileCloser(InFile* f) : f_(f) {}
    InFileCloser(const InFileCloser&) = delete;
    InFileCloser& operator=(const InFileCloser&) = delete;
    ~InFileCloser() { close(); }
    void close() {
        if (f_) f_->close();
        f_ = nullptr;
    }

private:
    InFile* f_;
};

class OutFileCloser {
public:
    explicit OutFileCloser(OutFile* f) : f_(f) {}
    OutFileCloser(const OutFileCloser&) = delete;
    OutFileCloser& operator=(const OutFileCloser&) = delete;
    ~OutFileCloser() {
        if (f_) f_->close();
    }
    // Closes now; false when bytes were lost.
    bool close() {
        OutFile* f = f_;
        f_ = nullptr;
        return f ? f->close() : false;
    }

private:
    OutFile* f_;
};

}  // namespace ravolin
