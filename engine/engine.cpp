#include "engine/engine.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace ravolin {
namespace {

// Byte classes. The table is indexed by unsigned byte: with a signed char
// every Shift-JIS byte would index before the table.
enum ByteClass : unsigned char {
    kOrdinary = 0,
    kSpace,
    kTab,
    kCr,
    kLf,
    kLead,    // 0x80-0x9F, 0xE0-0xFF: first byte of a double-byte character
    kQuote,
    kBackslash,
    kSlash,
    kStar,
};

// Lexical states as the scan sees them; index into kStops.
enum Lex { kCode = 0, kBlock = 1, kLine = 2, kString = 3 };

struct Tables {
    unsigned char cls[256];
    // kStops[lex][b] is 1 when byte b can change anything in that state; the
    // scan copies every other byte in bulk.
    unsigned char stops[4][256];
};

constexpr Tables make_tables() {
    Tables t{};
    for (int b = 0; b < 256; ++b) {
        unsigned char c = kOrdinary;
        if (b == ' ') c = kSpace;
        else if (b == '\t') c = kTab;
        else if (b == '\r') c = kCr;
        else if (b == '\n') c = kLf;
        else if ((b >= 0x80 && b <= 0x9F) || b >= 0xE0) c = kLead;
        else if (b == '"') c = kQuote;
        else if (b == '\\') c = kBackslash;
        else if (b == '/') c = kSlash;
        else if (b == '*') c = kStar;
        t.cls[b] = c;
        bool common = c == kTab || c == kCr || c == kLf || c == kLead;
        t.stops[kCode][b] = common || c == kSpace || c == kQuote || c == kBackslash || c == kSlash;
        t.stops[kBlock][b] = common || c == kSpace || c == kStar;
        t.stops[kLine][b] = common || c == kSpace;
        t.stops[kString][b] = common || c == kQuote || c == kBackslash;
    }
    return t;
}

constexpr Tables kTables = make_tables();

inline int lex_of(const EngineState& e) {
    return e.comment != kNoComment ? e.comment : (e.in_string ? kString : kCode);
}

inline void copy1(PieceCursor& c) {
    c.out[c.oi++] = c.in[c.ii++];
    ++c.col;
}

inline void copy2(PieceCursor& c) {
    c.out[c.oi++] = c.in[c.ii++];
    c.out[c.oi++] = c.in[c.ii++];
    c.col += 2;
}

// Converts one piece into e.out_line; returns the tabs counted and the output
// length through *out_len.
int convert_piece(EngineState& e, const unsigned char* piece, int len, int* out_len) {
    const int ts = e.tab_size;
    PieceCursor c{piece, len, 0, e.out_line, 0, 0};
    int tabs = 0;
    int pair_end = -1;  // index just after the last double-byte character
    while (c.ii < len) {
        const unsigned char* stop = kTables.stops[lex_of(e)];
        int j = c.ii;
        while (j < len && !stop[piece[j]]) ++j;
        if (j > c.ii) {
            std::memcpy(c.out + c.oi, piece + c.ii, static_cast<std::size_t>(j - c.ii));
            c.oi += j - c.ii;
            c.col += j - c.ii;
            c.ii = j;
            if (j == len) break;
        }
        const unsigned char b = piece[c.ii];
        // The look-ahead never reaches past the piece: there it sees a NUL.
        const unsigned char next = c.ii + 1 < len ? piece[c.ii + 1] : 0;
        switch (kTables.cls[b]) {
        case kSpace:
            tabs += convert_space_run(c, ts);
            break;
        case kTab:
            c.out[c.oi++] = '\t';
            ++c.ii;
            c.col = (c.col / ts + 1) * ts;
            break;
        case kLead:
            if (c.ii + 1 >= len) {
                // No second byte in this piece: write the lead byte alone; the
                // next piece begins with the missing byte, examined on its own.
                copy1(c);
                break;
            }
            copy2(c);
            pair_end = c.ii;
            if (e.comment == kLineComment && piece[c.ii - 1] == 0x5C && c.ii < len &&
                (piece[c.ii] == '\r' || piece[c.ii] == '\n')) {
                // A 0x5C second byte before the line end would read as a line
                // continuation to a compiler: the dot keeps the comment short.
                c.out[c.oi++] = '.';
                ++c.col;
                if (e.dots < INT_MAX) ++e.dots;
                e.comment = kNoComment;
            }
            break;
        case kQuote:
            // Only code or a string get here (the stop tables see to it).
            e.in_string = !e.in_string;
            copy1(c);
            break;
        case kBackslash:
            if (next == '"' || (next == '\\' && e.in_string)) copy2(c);
            else copy1(c);
            break;
        case kSlash:  // code only
            if (next == '*') {
                copy2(c);
                e.comment = kBlockComment;
            } else if (next == '/') {
                copy2(c);
                e.comment = kLineComment;
            } else {
                copy1(c);
            }
            break;
        case kStar:  // block comment only
            if (next == '/') {
                copy2(c);
                e.comment = kNoComment;
            } else {
                copy1(c);
            }
            break;
        case kCr:
        case kLf: {
            // Line end. A line comment ends here unless a backslash of its own
            // (not the second byte of a double-byte character) continues it.
            if (e.comment == kLineComment) {
                bool continued = c.ii > 0 && piece[c.ii - 1] == '\\' && pair_end != c.ii;
                if (!continued) e.comment = kNoComment;
            }
            copy1(c);
            if (b == '\r' && c.ii < len && (piece[c.ii] == '\r' || piece[c.ii] == '\n')) copy1(c);
            // Whatever follows a lone CR in the same piece is a line of its own.
            c.col = 0;
            break;
        }
        default:
            copy1(c);
            break;
        }
    }
    *out_len = c.oi;
    return tabs;
}

}  // namespace

int convert_space_run(PieceCursor& c, int ts) {
    int i = c.ii;
    while (i < c.len && c.in[i] == ' ') ++i;
    int n = i - c.ii;
    const unsigned char after = i < c.len ? c.in[i] : 0;
    c.ii = i;  // the byte after the run is only looked at, never consumed

    if (n == 1) {
        if (after == '\t') {
            // The space is dropped, or becomes the tab when it alone would
            // reach the stop; counted either way.
            if (c.col % ts == ts - 1) {
                c.out[c.oi++] = '\t';
                ++c.col;
            }
            return 1;
        }
        c.out[c.oi++] = ' ';
        ++c.col;
        return 0;
    }

    int tabs = 0;
    for (;;) {
        int d = ts - c.col % ts;
        if (n < d) break;
        c.out[c.oi++] = '\t';
        ++tabs;
        c.col += d;
        n -= d;
        if (n == 0) return tabs;
    }
    if (after == '\t') return tabs + 1;  // the tab reaches the same stop without them
    std::memset(c.out + c.oi, ' ', static_cast<std::size_t>(n));
    c.oi += n;
    c.col += n;
    return tabs;
}

int convert_file(EngineState& e) {
    long long tabs = 0;
    e.dots = 0;
    e.comment = kNoComment;
    e.in_string = 0;
    const unsigned char* piece;
    int len;
    while ((len = e.in->next_piece(&piece)) > 0) {
        int out_len;
        tabs += convert_piece(e, piece, len, &out_len);
        e.out->write(e.out_line, static_cast<std::size_t>(out_len));
    }
    return tabs > INT_MAX ? INT_MAX : static_cast<int>(tabs);
}

int parse_tab_size(const char* text) {
    long v = std::strtol(text, nullptr, 10);
    if (v < 1) return 1;
    if (v > 40) return 40;
    return static_cast<int>(v);
}

}  // namespace ravolin
