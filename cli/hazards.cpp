#include "cli/hazards.h"

#include <cstdio>
#include <optional>
#include <string>

#include "batch/text_checks.h"
#include "verify/c_lexer.h"
#include "verify/unit_reader.h"

namespace ravolin {
namespace {

// What code page 932 makes of LEAD 0x5C, for the lead bytes 0x81-0x9F and
// then 0xE0-0xFC, in that order; 0 where it has no character.
constexpr unsigned short kFiveC[60] = {
    0x2015, 0x0000, 0x30BD, 0x042B, 0x0000, 0x0000, 0x2168, 0x0000,
    0x5642, 0x6D6C, 0x6B3A, 0x572D, 0x69CB, 0x8695, 0x5341, 0x7533,
    0x66FE, 0x7BAA, 0x8CBC, 0x80FD, 0x8868, 0x66B4, 0x4E88, 0x7984,
    0x5154, 0x5580, 0x5ABE, 0x5F4C, 0x62FF, 0x6764, 0x6B43, 0x6FEC,
    0x755A, 0x79C9, 0x7DB5, 0x81C0, 0x85F9, 0x89F8, 0x8EC6, 0x9414,
    0x9945, 0x9DED, 0x0000, 0x0000, 0x5046, 0x7821, 0x0000, 0xE01C,
    0xE0D8, 0xE194, 0xE250, 0xE30C, 0xE3C8, 0xE484, 0xE540, 0xE5FC,
    0xE6B8, 0x7E8A, 0x72BE, 0x0000,
};

const char* place_of(CLexer::Literal l) {
    switch (l) {
    case CLexer::Literal::kString: return "a string literal";
    case CLexer::Literal::kChar: return "a character constant";
    case CLexer::Literal::kHeader: return "a header name";
    // No escapes and no splices inside a raw literal: its bytes mean
    // the same to any reader.
    case CLexer::Literal::kRaw:
    case CLexer::Literal::kNone: break;
    }
    return nullptr;
}

enum class Scanned { kDone, kUnreadable, kBinary, kCancelled };

// The file's places, each line formatted into lines; found says how many.
Scanned scan_file(FileSystem& fs, const char* path, const std::string& shown, const CliOptions& options,
                  const std::atomic<bool>& cancel, CliOutput& out, int* found) {
    *found = 0;
    static unsigned char block[1 << 16];
    Encoding encoding = Encoding::kCp932;
    switch (scan_text(fs, path, &encoding, cancel, block, sizeof block)) {
    case TextKind::kText:
    case TextKind::kUnclear: break;  // read as code page 932, as asked
    case TextKind::kBinary: return Scanned::kBinary;
    case TextKind::kReadError: return Scanned::kUnreadable;
    case TextKind::kCancelled: return Scanned::kCancelled;
    }
    if (options.encoding.value_or(encoding) != Encoding::kCp932) return Scanned::kDone;
    InFile* in = fs.open_read(path);
    if (!in) return Scanned::kUnreadable;
    InFileCloser closer(in);
    static std::optional<UnitReader> reader;
    static constexpr Encoding kCp932 = Encoding::kCp932;
    UnitReader& units = reader.emplace(*in, &kCp932, UnitReader::Role::kOriginal);
    CLexer lexer;
    long line = 1, column = 1;
    for (;;) {
        const Unit u = units.peek();
        if (u.kind == UnitKind::kEnd) return Scanned::kDone;
        if (u.kind == UnitKind::kError) return Scanned::kUnreadable;
        units.take();
        const bool literal = lexer.feed(u);
        if (is_line_end(u.kind)) {
            ++line;
            column = 1;
            continue;
        }
        const char* place = literal && u.kind == UnitKind::kPair && u.b1 == 0x5C ? place_of(lexer.literal()) : nullptr;
        if (place) {
            char ch[12];
            hazard_character(u.b0, ch);
            char text[4096];
            std::snprintf(text, sizeof text,
                          "%s:%ld:%ld: warning: \"%s\" in %s: second byte 0x5C reads as a backslash where the "
                          "file is not read as code page 932",
                          shown.c_str(), line, column, ch, place);
            out.print(text);
            ++*found;
        }
        column += u.kind == UnitKind::kPair ? 2 : 1;
    }
}

}  // namespace

void hazard_character(unsigned char lead, char* out) {
    int index = lead >= 0x81 && lead <= 0x9F ? lead - 0x81 : lead >= 0xE0 && lead <= 0xFC ? lead - 0xE0 + 31 : -1;
    const unsigned c = index >= 0 ? kFiveC[index] : 0;
    if (c == 0) {
        std::snprintf(out, 12, "\\x%02X\\x5C", lead);
    } else if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | c >> 6);
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        out[2] = '\0';
    } else {
        out[0] = static_cast<char>(0xE0 | c >> 12);
        out[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        out[3] = '\0';
    }
}

void cli_hazards(FileSystem& fs, const CliFileList& list, const CliOptions& options, CliOutput& out, Report& report,
                 const std::atomic<bool>& cancel) {
    const int count = list.count();
    for (int i = 0; i < count && !cancel.load(std::memory_order_relaxed); ++i) {
        out.starting(i, count, list.name(i));
        const std::string path = list.shown_path(i);
        int found = 0;
        const Scanned r = scan_file(fs, list.path(i), path, options, cancel, out, &found);
        if (r == Scanned::kCancelled) break;
        FileEvent e;
        e.name = path.c_str();
        if (r == Scanned::kBinary) {
            e.outcome = FileOutcome::kSkipped;
            e.why = "binary";
        } else if (r == Scanned::kUnreadable) {
            e.outcome = FileOutcome::kError;
            e.why = "cannot read";
        } else if (found > 0) {
            e.outcome = FileOutcome::kChanged;
        } else {
            continue;
        }
        report.file(e);
    }
    report.finish(cancel.load());
}

}  // namespace ravolin
