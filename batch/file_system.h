// The narrow file-system seam under the batch run. One implementation talks
// to Win32 (file_system_win32.cpp), one to POSIX (file_system_posix.cpp);
// tests put a fake in between to make disks fill up and reads fail.
#pragma once
#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

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

// Room for one path of the batch run: at most 1009 characters and a NUL (a
// file's folder and name, its ".bak" path, the wildcard path).
constexpr int kRunPathSize = 1010;

// What a seam operation could not do, in terms the report can put in words.
enum class FsError : unsigned char {
    kNone,
    kExists,        // the name is taken
    kNotFound,      // the file or its folder is gone
    kAccessDenied,  // permissions, a read-only file or medium
    kInUse,         // another program holds the file
    kNoSpace,       // disk or quota full
    kNameTooLong,
    kBadName,       // the system takes no file of that name (a character it forbids)
    kIo,            // anything else the device reported
    kCancelled,
};

// What the run needs to know of a file (a symbolic link's target, not the link).
struct FileInfo {
    long long size = 0;
    long long mtime = 0;            // last write, in the platform's finest unit
    unsigned long long device = 0;  // device and id together name the file
    unsigned long long id = 0;      // whatever name reaches it
    // Another name reaches these bytes in a way a rename would split from
    // them (hard links), or a new file could not have its owner and group
    // (it belongs to another user); such a file must be rewritten where it is.
    bool shared = false;
    // A plain file, not a folder, device, pipe or socket: only such a file
    // may be read to its end.
    bool regular = true;
    // What a replacement keeps: POSIX mode bits, owner and group; Win32
    // attributes (owner and group unused).
    unsigned long attributes = 0, owner = 0, group = 0;
};

struct CopyResult {
    FsError error = FsError::kNone;  // kNone: copied
    bool source = false;             // the error is about the file copied from
    // The file copied from: its size is the bytes copied, its time of last
    // write the one from before the copy began, so that any write to it
    // during or after the copy shows.
    FileInfo info;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // True when "X:" at the start of a wildcard path names a drive,
    // which then belongs to the folder part.
    virtual bool has_drive_letters() const { return false; }

    // Bytes that begin a double-byte character in the names this file system
    // takes; their second byte is never a separator.
    virtual const LeadBytes& lead_bytes() const { return system_lead_bytes(); }

    // Wildcard search ('*' and '?') of pattern, a bare name, in folder: ""
    // for the current directory, else a path ending in a separator (as
    // absolute_folder gives it). Entries come in the platform's order, bare
    // names; nothing happens when nothing matches. False when the folder
    // could not be read.
    virtual bool search(const char* folder, const char* pattern, SearchSink& sink) = 0;
    // Why the last search that returned false could not read its folder.
    virtual FsError search_error() const { return FsError::kIo; }

    // folder ("" for the current one; '\\' and '/' both separate) as an
    // absolute path ending in the platform's separator, in out (cap bytes).
    // Nothing is looked up: the folder need not exist. False when the path
    // cannot be formed or does not fit.
    virtual bool absolute_folder(const char* folder, char* out, std::size_t cap) = 0;

    // True when path names a folder (or a link to one).
    virtual bool is_folder(const char* path) = 0;

    // The names of the folders directly inside folder (as absolute_folder
    // gives it), in byte order, into names: no links to folders (nor
    // junctions), no "." or "..". Empty when folder cannot be read.
    virtual void subfolders(const char* folder, std::vector<std::string>& names) = 0;

    // Facts about name, a symbolic link followed. kNotFound when it is gone.
    virtual FsError stat(const char* name, FileInfo* info) = 0;

    // The path whose bytes a replacement of name must change: name itself,
    // or the final target of a symbolic link (then possibly in another
    // folder). Fails when it does not fit in cap.
    virtual FsError resolve(const char* name, char* target, std::size_t cap) = 0;

    // Copies from to a new file to. Never overwrites: an existing `to` makes
    // the copy fail with kExists. A copy that fails or is cancelled part-way
    // leaves no `to` behind. cancel is looked at while the bytes move. The
    // copy is not yet flushed to disk.
    virtual CopyResult copy_new(const char* from, const char* to, const std::atomic<bool>& cancel) = 0;

    // Open for reading / for writing (created, or emptied when it exists).
    // nullptr on failure. At most two files are open for reading and one for
    // writing at a time.
    virtual InFile* open_read(const char* name) = 0;
    virtual OutFile* open_write(const char* name) = 0;
    // A new file for writing; an existing one is never opened. It gets the
    // mode (or attributes), owner and group of like where permitted.
    // Shares open_write's one slot.
    virtual OutFile* create_new(const char* name, const FileInfo& like, FsError* error) = 0;

    // Starts flushing each named, closed file to the disk itself, and
    // returns at once or when done; after finish_flush() results[i] says how
    // names[i] fared. names and results stay untouched until then. One flush
    // at a time; many files in one go may be flushed together.
    virtual void start_flush(const char* const* names, int count, FsError* results) = 0;
    virtual void finish_flush() = 0;
    void flush(const char* const* names, int count, FsError* results) {
        start_flush(names, count, results);
        finish_flush();
    }

    // Gives the file from a second name, to, which must not exist (kExists
    // when it does): a hard link, not flushed. Fails where the file system
    // or the platform has none; the caller then copies instead.
    virtual FsError link_new(const char* /*from*/, const char* /*to*/) { return FsError::kAccessDenied; }

    // Gives from the name to, which must not exist: kExists when it does,
    // and then nothing changes.
    virtual FsError rename_new(const char* from, const char* to) = 0;
    // Puts from in place of the existing file to in one step, so that to is
    // always either its old or its new self. Fails when to is gone or could
    // not have been written in place (a read-only file).
    virtual FsError rename_replace(const char* from, const char* to) = 0;
    virtual FsError remove(const char* name) = 0;

    // Temporary files carry the id of the process that made them, so that a
    // later run removes only those no live process is using.
    virtual unsigned long process_id() = 0;
    virtual bool process_alive(unsigned long id) = 0;
};

// The separator absolute_folder ends a folder with.
#ifdef _WIN32
constexpr char kFolderSeparator = '\\';
#else
constexpr char kFolderSeparator = '/';
#endif

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
