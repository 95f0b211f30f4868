#include "cli/check.h"

#include <new>
#include <optional>
#include <string>

#include "cli/diff.h"
#include "batch/seen_files.h"
#include "batch/text_checks.h"
#include "engine/engine.h"

namespace ravolin {
namespace {

enum class Converted { kDone, kSkipped, kSeen, kUnreadable, kTooLarge, kSettingsError, kCancelled };

// The buffers live as long as the program: a check over thousands of files
// allocates only while some file is larger than all before it.
struct CheckBuffers {
    std::string original;
    StringSink converted;
    std::optional<TextReader> reader;
    std::optional<TextWriter> writer;
    EngineState engine;
    std::string diff;
    std::string why;  // kSkipped: the words a run's Skipped line has
};

enum class Read { kText, kBinary, kFailed };

// The file's bytes, fed to scan as they come: reading stops at the first
// sign of binary, so a large binary file costs neither the time nor the
// memory of reading it whole.
Read read_text(FileSystem& fs, const char* name, std::string& bytes, TextScan& scan) {
    bytes.clear();
    InFile* in = fs.open_read(name);
    if (!in) return Read::kFailed;
    InFileCloser closer(in);
    // Read through a buffer of its own: growing the string by a whole chunk
    // first would clear it, twice a file, which costs more than the reads
    // of a tree of small files.
    constexpr std::size_t kChunk = 1 << 16;
    unsigned char buf[kChunk];
    for (;;) {
        const long n = in->read(buf, kChunk);
        if (n < 0) return Read::kFailed;
        if (n == 0) return Read::kText;
        bytes.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
        if (!scan.feed(buf, static_cast<std::size_t>(n))) return Read::kBinary;
    }
}

// What the run would write in place of the file: the bytes read through a
// text-stream reader into the engine and out through a text-stream writer.
bool convert_in_memory(int tab_size, Style style, Encoding encoding, const std::atomic<bool>& cancel,
                       CheckBuffers& b) {
    MemorySource source(b.original.data(), b.original.size());
    b.converted.out.clear();
    b.reader.emplace(source);
    b.writer.emplace(b.converted);
    b.engine.in = &*b.reader;
    b.engine.out = &*b.writer;
    b.engine.tab_size = tab_size;
    b.engine.style = style;
    b.engine.encoding = encoding;
    b.engine.cancel = &cancel;
    convert_file(b.engine);
    const unsigned char* rest;
    if (b.reader->peek(&rest) != 0) return false;  // cancelled
    b.writer->flush();
    return true;
}

// Entry i converted as a run would convert it, or skipped where a run would
// skip it (binary, a conversion the check rejects), or kSeen when an entry
// before it is the same file; with
// diff_path its diff is left in b.diff. seen holds the files looked at.
Converted examine(FileSystem& fs, const CliFileList& list, int i, const std::string* diff_path,
                  const CliOptions& options, const std::atomic<bool>& cancel, SeenFiles& seen, CheckBuffers& b) try {
    b.diff.clear();
    FileInfo info;
    if (fs.stat(list.path(i), &info) != FsError::kNone) return Converted::kUnreadable;
    // Nothing is written, so a file reached twice is simply looked at once.
    if (seen.first_entry(info, i) != i) return Converted::kSeen;
    // What the file's own settings say, as for a run; but a file its
    // repository keeps indented with spaces is in the form asked for, so a
    // hook's check has nothing to say about it.
    const FileSettings own = list.settings(i);
    if (own.skipped) return Converted::kSeen;
    // No line to convert: nothing to say about it either.
    if (own.lines && own.lines->empty()) return Converted::kSeen;
    if (own.error) {
        b.why = own.error;
        return Converted::kSettingsError;
    }
    const int tab_size = own.tab_size != 0 ? own.tab_size : options.tab_size;
    TextScan scan;
    const Read read = read_text(fs, list.path(i), b.original, scan);
    if (read == Read::kFailed) return Converted::kUnreadable;
    if (read == Read::kBinary) {
        b.why = "binary";
        return Converted::kSkipped;
    }
    if (!options.encoding && scan.unclear()) {
        b.why = "encoding unclear";
        return Converted::kSkipped;
    }
    const Encoding encoding = options.encoding.value_or(scan.encoding());
    if (!convert_in_memory(tab_size, options.style, encoding, cancel, b)) return Converted::kCancelled;
    if (own.lines) {
        // The lines outside the ranges as they stand in the file.
        MemorySource was(b.original.data(), b.original.size());
        StringSink merged;
        LineMerge merge(was, merged, *own.lines, count_words(options.style) == CountWords::kSpaces);
        merge.write(reinterpret_cast<const unsigned char*>(b.converted.out.data()), b.converted.out.size());
        merge.finish();
        b.converted.out.swap(merged.out);
    }
    MemorySource original(b.original.data(), b.original.size());
    MemorySource converted(b.converted.out.data(), b.converted.out.size());
    const VerifyResult checked =
        verify_conversion(original, converted, encoding, own.lines ? LineEnds::kKept : LineEnds::kTranslated);
    if (checked != VerifyResult::kSame) {
        b.why = verify_reason(checked);
        return Converted::kSkipped;
    }
    if (diff_path) append_unified_diff(*diff_path, b.original, b.converted.out, b.diff);
    return Converted::kDone;
} catch (const std::bad_alloc&) {
    // The file, its conversion and its diff are held whole; one that does
    // not fit in memory is reported, and the next file gets the memory back.
    std::string().swap(b.original);
    std::string().swap(b.converted.out);
    std::string().swap(b.diff);
    return Converted::kTooLarge;
}

}  // namespace

void cli_check(FileSystem& fs, const CliFileList& list, const CliOptions& options, CliOutput& out, Report& report,
               const std::atomic<bool>& cancel) {
    // The buffers live as long as the program: see CheckBuffers.
    static CheckBuffers b;
    SeenFiles seen;
    const bool diff = options.mode == CliMode::kDiff;
    const int count = list.count();
    for (int i = 0; i < count && !cancel.load(std::memory_order_relaxed); ++i) {
        out.starting(i, count, list.name(i));
        const std::string patch_path = diff ? list.patch_path(i) : std::string();
        const Converted r = examine(fs, list, i, diff ? &patch_path : nullptr, options, cancel, seen, b);
        if (r == Converted::kCancelled) break;
        if (r == Converted::kSeen) continue;
        const std::string path = list.shown_path(i);
        FileEvent e;
        e.name = path.c_str();
        if (r == Converted::kSkipped) {
            e.outcome = FileOutcome::kSkipped;
            e.why = b.why.c_str();
        } else if (r == Converted::kSettingsError) {
            e.outcome = FileOutcome::kError;
            e.why = b.why.c_str();
        } else if (r == Converted::kUnreadable || r == Converted::kTooLarge) {
            e.outcome = FileOutcome::kError;
            e.why = r == Converted::kUnreadable ? "cannot read" : "too large to hold in memory";
        } else if (b.converted.out == b.original) {
            continue;
        } else {
            e.outcome = FileOutcome::kChanged;
            if (diff) {
                out.write_raw(b.diff.data(), b.diff.size());
            } else {
                out.print(path.c_str());
            }
        }
        report.file(e);
    }
    report.finish(cancel.load());
}

}  // namespace ravolin
