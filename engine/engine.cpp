#include "engine/engine.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__) && !defined(RAVOLIN_SCALAR_SCAN)
#include <emmintrin.h>
#endif

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

// Lexical states as the scan sees them; index into stops and kExtra.
enum Lex { kCode = 0, kBlock = 1, kLine = 2, kString = 3 };

struct Tables {
    unsigned char cls[256];
    // stops[lex][b] is 1 when byte b can change anything in that state; the
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

// A space followed by anything but a space or a tab is copied as it is, so
// it needs no attention: most spaces in C are single.
inline bool plain(const unsigned char* p, int j, int len, const unsigned char* stop) {
    unsigned char b = p[j];
    if (!stop[b]) return true;
    if (b != ' ') return false;
    unsigned char next = j + 1 < len ? p[j + 1] : 0;
    return next != ' ' && next != '\t';
}

#if defined(__SSE2__) && !defined(RAVOLIN_SCALAR_SCAN)
// Besides tab, CR, LF and bytes >= 0x80, the bytes each state must look at;
// unused places repeat the tab.
constexpr unsigned char kExtra[4][3] = {
    /* code   */ {'"', '\\', '/'},
    /* block  */ {'*', '\t', '\t'},
    /* line   */ {'\t', '\t', '\t'},
    /* string */ {'"', '\\', '\t'},
};
#endif

// Copies the bytes from c.ii that need no attention in state lex to the
// output and stops at the first one that does (or at the piece's end).
// The piece has kPieceSlack readable bytes after it and the output line room
// to spare, so whole 16-byte blocks are loaded and stored.
inline void copy_plain(PieceCursor& c, int lex) {
    const unsigned char* p = c.in;
    int j = c.ii;
    int o = c.oi;
#if defined(__SSE2__) && !defined(RAVOLIN_SCALAR_SCAN)
    const __m128i tab = _mm_set1_epi8('\t'), cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    const __m128i sp = _mm_set1_epi8(' ');
    const __m128i x0 = _mm_set1_epi8(static_cast<char>(kExtra[lex][0]));
    const __m128i x1 = _mm_set1_epi8(static_cast<char>(kExtra[lex][1]));
    const __m128i x2 = _mm_set1_epi8(static_cast<char>(kExtra[lex][2]));
    const bool spaces_matter = lex != kString;
    while (j + 16 <= c.len) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j));
        __m128i m = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, cr)),
                                 _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, x0)));
        m = _mm_or_si128(m, _mm_or_si128(_mm_cmpeq_epi8(v, x1), _mm_cmpeq_epi8(v, x2)));
        if (spaces_matter) {
            __m128i n = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j + 1));
            __m128i run = _mm_and_si128(_mm_cmpeq_epi8(v, sp),
                                        _mm_or_si128(_mm_cmpeq_epi8(n, sp), _mm_cmpeq_epi8(n, tab)));
            m = _mm_or_si128(m, run);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(c.out + o), v);
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(m) | _mm_movemask_epi8(v));
        if (mask != 0) {
            int k = __builtin_ctz(mask);
            j += k;
            o += k;
            c.col += k;
            c.ii = j;
            c.oi = o;
            return;
        }
        j += 16;
        o += 16;
        c.col += 16;
    }
#endif
    const unsigned char* stop = kTables.stops[lex];
    int start = j;
    while (j < c.len && plain(p, j, c.len, stop)) c.out[o++] = p[j++];
    c.col += j - start;
    c.ii = j;
    c.oi = o;
}

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

// Writes an LF the way the output stream stores it.
inline void put_newline(PieceCursor& c) {
    c.out[c.oi++] = '\r';
    c.out[c.oi++] = '\n';
}

// Converts the piece at the start of window (at most kMaxPiece bytes of the
// input): the piece ends after its first LF or at the window's end. The bytes
// go to out as stored on disk. Returns the tabs counted; *used and *out_len
// tell how much input the piece took and how much output it made.
int convert_piece(EngineState& e, const unsigned char* window, int len, unsigned char* out, int* used,
                  int* out_len) {
    const int ts = e.tab_size;
    PieceCursor c{window, len, 0, out, 0, 0};
    int tabs = 0;
    int pair_end = -1;  // index just after the last double-byte character
    while (c.ii < len) {
        copy_plain(c, lex_of(e));
        if (c.ii >= len) break;
        const unsigned char b = window[c.ii];
        // The look-ahead never reaches past the piece (an LF ends it before
        // anything could look beyond): past the window it sees a NUL.
        const unsigned char next = c.ii + 1 < len ? window[c.ii + 1] : 0;
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
            if (next == '\n') {
                // The LF is taken as the second byte, and with it the piece
                // ends; a line comment goes on into the next line.
                c.out[c.oi++] = b;
                put_newline(c);
                c.ii += 2;
                goto piece_end;
            }
            copy2(c);
            pair_end = c.ii;
            if (e.comment == kLineComment && next == 0x5C && c.ii < len &&
                (window[c.ii] == '\r' || window[c.ii] == '\n')) {
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
        case kLf:
            // Line end. A line comment ends here unless a backslash of its own
            // (not the second byte of a double-byte character) continues it.
            if (e.comment == kLineComment) {
                bool continued = c.ii > 0 && window[c.ii - 1] == '\\' && pair_end != c.ii;
                if (!continued) e.comment = kNoComment;
            }
            if (b == '\n') {
                put_newline(c);
                ++c.ii;
                goto piece_end;
            }
            copy1(c);  // the CR
            if (next == '\r') {
                copy1(c);
            } else if (next == '\n') {
                put_newline(c);
                ++c.ii;
                goto piece_end;
            }
            // Whatever follows a lone CR in the same piece is a line of its own.
            c.col = 0;
            break;
        default:
            copy1(c);
            break;
        }
    }
piece_end:
    *used = c.ii;
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

    // After the first tab the column stands on a stop: every further tab
    // covers a whole tab size.
    int tabs = 0;
    int d = ts - c.col % ts;
    while (n >= d) {
        c.out[c.oi++] = '\t';
        ++tabs;
        c.col += d;
        n -= d;
        d = ts;
    }
    if (n == 0) return tabs;  // the run ended exactly on a stop
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
    const unsigned char* window;
    int len;
    while ((len = e.in->peek(&window)) > 0) {
        if (e.cancel && e.cancel->load(std::memory_order_relaxed)) break;
        int used, out_len;
        unsigned char* out = e.out->reserve(kOutLineSize);
        tabs += convert_piece(e, window, len, out, &used, &out_len);
        e.in->consume(used);
        e.out->commit(static_cast<std::size_t>(out_len));
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
