#include "engine/engine.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/scan.h"
#include "engine/utf8.h"

namespace ravolin {
namespace {

using scan::kTables;

// Every step of the converter is inlined into one loop, so that its indexes
// stay in registers: a byte stored through the output pointer may alias any
// object whose address has left the loop, which would force them to memory.
#define RAVOLIN_INLINE __attribute__((always_inline)) inline

// Converts the whole pieces of one block of input (what the reader shows at
// once). A piece is a line with its LF, the last line without one, or a
// kMaxPiece-byte part of a longer line; everything the rules look at stays
// inside one piece, and columns count from 0 at each piece's start.
//
// The vector scan finds the bytes that need attention ("stops") a window at
// a time (64 bytes, 32 in the 32-bit program) and keeps them as a bit mask;
// a stop's handler and the next piece carry on with the same mask, which is
// only worked out again when a literal begins or ends or the window is used
// up (code and comments share their stops).
//
// The column is not counted byte by byte: between two points where it moves
// otherwise (a tab, a run of spaces, a wide or zero-width character, a lone
// CR) every byte is one column, so the column is the input position minus a
// base that those points set.
//
// With kKeptCrLf the input holds its CR LF line ends as stored, and a CR LF
// is read as the LF it stands for: the LF of a piece is its last byte, so a
// CR LF only ever ends a piece, which then takes one byte more.
template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
class BlockConverter {
    static constexpr bool kVector = kPath != ScanPath::kScalar;
    static constexpr int kPieceBytes = kKeptCrLf ? kMaxStoredPiece : kMaxPiece;

public:
    BlockConverter(EngineState& e, const unsigned char* in, int len, bool last, unsigned char* out)
        : e_(e), in_(in), out_(out), end_(in + len), last_(last),
          start_lim_(last ? end_ : len >= kPieceBytes ? end_ - (kPieceBytes - 1) : in),
          ts_(e.tab_size),
          ts_shift_((e.tab_size & (e.tab_size - 1)) == 0 ? __builtin_ctz(static_cast<unsigned>(e.tab_size)) : -1),
          lex_(e.lex), utf8_tail_(e.utf8_tail), dots_(e.dots), p_(in), delta_(address(out) - address(in)) {}

    // Converts piece after piece while a whole one is sure to be in the block;
    // returns the tabs counted.
    RAVOLIN_INLINE long long run() {
        if (next_piece()) convert();
        if (p_ > in_) e_.mid_line = p_[-1] != '\n' && p_[-1] != '\r';
        e_.lex = lex_;
        e_.utf8_tail = utf8_tail_;
        e_.dots = dots_;
        return tabs_;
    }

    int used() const { return static_cast<int>(p_ - in_); }
    int written() const { return static_cast<int>(q() - out_); }

private:
#ifdef RAVOLIN_HAVE_SSE2
    static constexpr int kWindow = scan::kWindowBytes;
#endif
#ifdef RAVOLIN_HAVE_WIDE_SCAN
    static constexpr bool kWholeWindows = kPath == ScanPath::kAvx512;
#else
    static constexpr bool kWholeWindows = false;
#endif

    int col() const { return static_cast<int>(reinterpret_cast<std::intptr_t>(p_) - col_base_); }
    void set_col(int c) { col_base_ = reinterpret_cast<std::intptr_t>(p_) - c; }
    // Division by the tab size: a shift for the usual powers of two.
    int div_ts(int c) const { return ts_shift_ >= 0 ? c >> ts_shift_ : c / ts_; }
    int mod_ts(int c) const { return ts_shift_ >= 0 ? c & (ts_ - 1) : c % ts_; }
    // The byte after the one at p_ as this piece shows it: past the piece a
    // NUL, so no rule ever looks into the next piece.
    unsigned char next() const { return p_ + 1 < lim_ ? p_[1] : 0; }
    // Whether a kept CR LF starts at p_ + k, inside the piece.
    bool crlf_at(int k) const {
        return kKeptCrLf && p_ + k + 1 < lim_ && p_[k] == '\r' && p_[k + 1] == '\n';
    }

    static std::intptr_t address(const void* p) { return reinterpret_cast<std::intptr_t>(p); }
    // The next free output byte: it keeps its distance from p_ while bytes
    // are copied as they are, so a copy moves one pointer only.
    unsigned char* q() const { return reinterpret_cast<unsigned char*>(address(p_) + delta_); }
    // n more bytes written than read (fewer when n is negative).
    void wrote_more(std::intptr_t n) { delta_ += n; }

    RAVOLIN_INLINE void copy1() {
        q()[0] = p_[0];
        ++p_;
    }
    RAVOLIN_INLINE void copy2() {
        unsigned char* out = q();
        out[0] = p_[0];
        out[1] = p_[1];
        p_ += 2;
    }
    // The line end of the n bytes at p_ (an LF, or a kept CR LF) as the
    // output stream stores it, in the same pass.
    RAVOLIN_INLINE void put_line_end(int n) {
        unsigned char* out = q();
        out[0] = '\r';
        out[1] = '\n';
        p_ += n;
        wrote_more(2 - n);
    }
    // Into or out of a literal: its stops are others.
    RAVOLIN_INLINE void set_lex(LexState lex) {
        lex_ = lex;
        rescan();
    }
    // Between code and a comment: the stops stay (see scan::stop_mask).
    RAVOLIN_INLINE void set_comment_lex(LexState lex) { lex_ = lex; }

#ifdef RAVOLIN_HAVE_SSE2
    void fill(unsigned char byte, int n) {
        if constexpr (kVector) scan::fill_sse2(q(), byte == '\t' ? scan::splats().tab : scan::splats().space, n);
        else scan::fill_scalar(q(), byte, n);
        wrote_more(n);
    }
    // Where the run of spaces at p_ ends, or a point at or past lim_ (the
    // vector scan's up to 15 bytes past it) when it reaches the piece's end.
    const unsigned char* run_end() const {
        if constexpr (kVector) return scan::run_end_sse2(p_, lim_);
        else return scan::run_end_scalar(p_, lim_);
    }
    // Carries on from p_ where no handler is at work: whole windows where
    // they can be, else the stops of a new window.
    RAVOLIN_INLINE void resume() {
#ifdef RAVOLIN_HAVE_WIDE_SCAN
        if constexpr (kWholeWindows) {
            // Whole windows work out columns modulo a tab size that is a
            // power of two (all the usual ones); other sizes take the stops.
            if (!scan::literal_state(lex_) && ts_shift_ >= 0) return whole_windows();
        }
#endif
        rescan();
    }
    // A new window of stops from p_ in the current lexical state.
    RAVOLIN_INLINE void rescan() {
        if constexpr (kVector) {
            w_ = p_;
            // In a literal (or at a tab size whole windows do not take)
            // every stop needs its handler; elsewhere whole windows take
            // over after the next one.
            if constexpr (kWholeWindows) {
                other_ = scan::literal_state(lex_) || ts_shift_ < 0 ? ~scan::StopMask{0} : 0;
            }
#ifdef RAVOLIN_HAVE_WIDE_SCAN
            if constexpr (kPath == ScanPath::kAvx512) mask_ = scan::window_mask_avx512(lex_, p_);
            else if constexpr (kPath == ScanPath::kAvx2) mask_ = scan::window_mask_avx2(lex_, p_);
            else
#endif
            mask_ = scan::window_mask(lex_, p_);
        }
    }
    // p_ moved on: the stops behind it are done.
    RAVOLIN_INLINE void moved() {
        // Where whole windows are converted at once, every stop the handlers
        // see is a way back to them.
        if constexpr (kWholeWindows) {
            const auto d = p_ - w_;
            if (d >= kWindow) return resume();
            mask_ &= ~scan::StopMask{0} << d;
            // Whole windows again from here unless the next stop needs its
            // handler.
            if ((mask_ & (0 - mask_) & other_) == 0) resume();
            return;
        }
        if constexpr (kVector) {
            const auto d = p_ - w_;
            if (d >= kWindow) rescan();
            else mask_ &= ~scan::StopMask{0} << d;
        }
    }
    // Copies the input up to the next stop, or up to the piece's end;
    // false at the piece's end.
    RAVOLIN_INLINE bool to_next_stop() {
        if constexpr (kVector) {
            for (;;) {
                if (mask_ != 0) {
                    const unsigned char* stop = w_ + scan::lowest_stop(mask_);
                    if (stop < lim_) {
                        copy_to(stop);
                        return true;
                    }
                    break;
                }
                const unsigned char* window_end = w_ + kWindow;
                if (window_end >= lim_) break;
                copy_to(window_end);
                resume();
            }
            copy_to(lim_);
            return false;
        } else {
            to_next_stop_scalar();
            return p_ < lim_;
        }
    }
    // Copies the input up to to, at most a window ahead, to the output.
    RAVOLIN_INLINE void copy_to(const unsigned char* to) {
#ifdef RAVOLIN_HAVE_WIDE_SCAN
        if constexpr (kPath == ScanPath::kAvx512) scan::copy_window_avx512(p_, q());
        else if constexpr (kPath == ScanPath::kAvx2) scan::copy_window_avx2(p_, q());
        else
#endif
        scan::copy_window(p_, q());
        p_ = to;
    }
#else
    void fill(unsigned char byte, int n) {
        scan::fill_scalar(q(), byte, n);
        wrote_more(n);
    }
    const unsigned char* run_end() const { return scan::run_end_scalar(p_, lim_); }
    void rescan() {}
    void resume() {}
    void moved() {}
    bool to_next_stop() {
        to_next_stop_scalar();
        return p_ < lim_;
    }
#endif

    void to_next_stop_scalar() {
        unsigned char* out = q();
        scan::copy_plain_scalar(p_, lim_, out, kTables.stops[static_cast<int>(kEnc)][static_cast<int>(lex_)]);
    }

#ifdef RAVOLIN_HAVE_WIDE_SCAN
    RAVOLIN_INLINE void whole_windows();
#endif
    RAVOLIN_INLINE void set_piece(const unsigned char* start, bool line_start);
    RAVOLIN_INLINE bool next_piece();
    RAVOLIN_INLINE bool start_piece(bool line_start);
    RAVOLIN_INLINE void convert();
    RAVOLIN_INLINE void space_run();
    void space_run_edge(const unsigned char* end);
    RAVOLIN_INLINE bool high_cp932();
    RAVOLIN_INLINE void high_utf8();
    RAVOLIN_INLINE bool line_end();
    RAVOLIN_INLINE void line_end_lex();
    RAVOLIN_INLINE void quote();
    RAVOLIN_INLINE void directive();
    RAVOLIN_INLINE void tab();

    EngineState& e_;
    const unsigned char* const in_;
    unsigned char* const out_;
    const unsigned char* const end_;
    const bool last_;  // the block holds all the rest of the input
    // A piece may start below this point: it is sure to be whole in the
    // block when the block holds all the rest of the input or a piece's
    // worth after it.
    const unsigned char* const start_lim_;
    const int ts_;
    const int ts_shift_;  // log2 of the tab size when it is a power of two, else -1
    LexState lex_;
    int utf8_tail_;
    int dots_;
    long long tabs_ = 0;
    const unsigned char* p_;  // next input byte
    std::intptr_t delta_;     // the next free output byte is p_ plus this
    const unsigned char* piece_start_ = nullptr;  // the current piece is [piece_start_, lim_)
    const unsigned char* lim_ = nullptr;
    const unsigned char* pair_end_ = nullptr;  // just after the last double-byte character
    // Where the current line begins in this piece; nullptr when it began in
    // an earlier one.
    const unsigned char* line_begin_ = nullptr;
    std::intptr_t col_base_ = 0;                 // the column is p_ minus this
    const unsigned char* w_ = nullptr;         // the window of stops starts here
#ifdef RAVOLIN_HAVE_SSE2
    scan::StopMask mask_ = 0;  // stops at w_ + bit index not yet handled
    scan::StopMask other_ = 0;  // those of them whole windows leave to the handlers
#endif
};

// Starts the piece at p_ when one is sure to be whole in the block; false
// when the block is done. A piece starts a line unless the last one was cut
// from a long line.
template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
RAVOLIN_INLINE bool BlockConverter<kPath, kEnc, kKeptCrLf>::next_piece() {
    return start_piece(p_ > in_ ? p_[-1] == '\n' || p_[-1] == '\r' : !e_.mid_line);
}

template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
RAVOLIN_INLINE void BlockConverter<kPath, kEnc, kKeptCrLf>::set_piece(const unsigned char* start, bool line_start) {
    piece_start_ = start;
    line_begin_ = line_start ? start : nullptr;
    // Before the last block's end a piece that may start has a whole
    // piece's worth after it.
    lim_ = last_ && end_ - start < kMaxPiece ? end_ : start + kMaxPiece;
    // A CR LF that the limit would cut is the piece's LF: both bytes are in.
    if (kKeptCrLf && lim_[-1] == '\r' && lim_ < end_ && lim_[0] == '\n') ++lim_;
    // pair_end_ stays: a double-byte character of an earlier piece ends at
    // or before this piece's start, where nothing compares with it.
}

template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
RAVOLIN_INLINE bool BlockConverter<kPath, kEnc, kKeptCrLf>::start_piece(bool line_start) {
    if (p_ >= start_lim_) return false;
    set_piece(p_, line_start);

    // Only a piece cut from a line can begin with the rest of a character.
    if (kEnc == Encoding::kUtf8 && !line_start && utf8_tail_ > 0) {
        // The rest of a character cut by the last piece's end: its columns
        // were counted there, so it takes none here and is never read as
        // characters of its own.
        while (utf8_tail_ > 0 && p_ < lim_ && utf8_continuation(*p_)) {
            copy1();
            --utf8_tail_;
        }
        utf8_tail_ = 0;
    }
    set_col(0);
    return true;
}

template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
RAVOLIN_INLINE void BlockConverter<kPath, kEnc, kKeptCrLf>::convert() {
    resume();
    for (;;) {
        if (!to_next_stop()) {  // a piece cut from a longer line, or the last one
            if (!next_piece()) return;
            moved();
            continue;
        }
        const unsigned char b = *p_;
        // The two stops most lines have, ahead of the rest. A line end
        // (its LF, or a kept CR LF) ends the piece and starts a line.
        if (b == '\n' || (kKeptCrLf && b == '\r' && p_[1] == '\n' && p_ + 1 < lim_)) {
            if (lex_ >= LexState::kLineComment) line_end_lex();
            put_line_end(b == '\n' ? 1 : 2);
            if (!start_piece(true)) return;
            moved();
            continue;
        }
        if (b == ' ') {
            space_run();
            moved();
            continue;
        }
        switch (kTables.cls[b]) {
        case scan::kCr:
            if (line_end() && !next_piece()) return;
            moved();
            break;
        case scan::kTab:
            tab();
            moved();
            break;
        case scan::kHigh:
            if (kEnc == Encoding::kUtf8) {
                high_utf8();
            } else if (high_cp932() && !next_piece()) {
                return;
            }
            moved();
            break;
        case scan::kQuote:
            if (lex_ == LexState::kBlockComment || lex_ == LexState::kLineComment) {
                copy1();
                moved();
            } else {
                quote();
            }
            break;
        case scan::kHash:  // code only (the stops see to it)
            if (lex_ == LexState::kCode) {
                directive();
            } else {
                copy1();
                moved();
            }
            break;
        case scan::kGreater:  // ends a header name; elsewhere a byte like any other
            copy1();
            if (lex_ == LexState::kHeaderName) set_lex(LexState::kCode);
            break;
        case scan::kBackslash:
            if (next() == '"' || (next() == '\\' && lex_ == LexState::kString)) copy2();
            else copy1();
            moved();
            break;
        case scan::kSlash:  // opens a comment in code
            if (lex_ == LexState::kCode && next() == '*') {
                copy2();
                set_comment_lex(LexState::kBlockComment);
            } else if (lex_ == LexState::kCode && next() == '/') {
                copy2();
                set_comment_lex(LexState::kLineComment);
            } else {
                copy1();
            }
            moved();
            break;
        case scan::kStar:  // ends a block comment
            if (lex_ == LexState::kBlockComment && next() == '/') {
                copy2();
                set_comment_lex(LexState::kCode);
            } else {
                copy1();
            }
            moved();
            break;
        default:
            copy1();
            moved();
            break;
        }
    }
}

#ifdef RAVOLIN_HAVE_WIDE_SCAN
// Outside literals most windows hold nothing that needs attention but line
// ends and runs of spaces, and most of the rest hold such a stretch before
// their first other stop. Such a stretch is converted at once, without a
// trip through the handlers per stop: every byte in it is one column, so the
// column of a run follows from the last line end before it, and the output
// is the window with the tabs put in and the spaces they replace squeezed
// out. The stretch ends before any other stop, before a run it would cut or
// that ends at it (a tab after a run changes the run), and where a piece
// would end other than at a line end; the handlers take over there, with
// the window's stops left from the stretch's end.
template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
RAVOLIN_INLINE void BlockConverter<kPath, kEnc, kKeptCrLf>::whole_windows() {
    using scan::StopMask;
    constexpr StopMask kAll = ~StopMask{0};
    for (;;) {
        const unsigned char* const p = p_;
        w_ = p;
        // Every line end in the window starts a piece, and no piece limit
        // falls inside it.
        if (p + kWindow >= start_lim_ || lim_ < p + kWindow) {
            mask_ = scan::window_mask_avx512(LexState::kCode, p);
            other_ = kAll;
            return;
        }
        const scan::WindowBits bits = scan::window_bits_avx512<kKeptCrLf>(p);
        StopMask space = bits.space;
        StopMask slash = bits.slash, star = bits.star;
        StopMask other = bits.other;
        StopMask leads = 0;
        if constexpr (kEnc == Encoding::kCp932) {
            // Double-byte characters, two bytes and two columns each: in a
            // run of bytes that may lead one, every other byte from the
            // run's first does (the general rule reads them one by one).
            // Their second bytes are nothing else; a second byte that is a
            // control or a backslash, or lies in the next window, is left
            // to the handlers with its lead.
            const scan::Cp932Bits high = scan::cp932_bits_avx512(p);
            if (high.high != 0) {
                constexpr StopMask kEven = 0x5555555555555555ull;
                const StopMask may_lead = high.lead;
                const StopMask even_starts = may_lead & ~(may_lead << 1) & kEven;
                const StopMask from_even = may_lead & ~(may_lead + even_starts);
                leads = (from_even & kEven) | (may_lead & ~from_even & ~kEven);
                const StopMask seconds = leads << 1;
                const StopMask held_back =
                    (leads & ((high.low & ~high.high) | high.backslash) >> 1) | (leads & StopMask{1} << (kWindow - 1));
                space &= ~seconds;
                slash &= ~seconds;
                star &= ~seconds;
                other = (other & ~(high.high | seconds)) | held_back;
            }
        }
        const StopMask lf = bits.lf;
        // Where line ends begin: a kept CR LF, written as it is, or an LF,
        // written as CR LF. A CR without its LF is left to the handlers.
        const StopMask crlf = kKeptCrLf ? bits.cr & lf >> 1 : 0;
        const StopMask lone = lf & ~(crlf << 1);
        const StopMask ends = crlf | lone;
        other_ = other;
        const int first_other = other != 0 ? __builtin_ctzll(other) : kWindow;
        // Back to the start of the spaces before it, if any (no branch: the
        // cut moves about at random).
        int cut = scan::after_last_avx512(~space, first_other);
        // Comments open and close inside windows: nothing in one changes
        // with them but where the next begins. Those before the cut, in
        // order: each opening or closing takes two bytes, and a line
        // comment ends at its line's end unless a backslash continues it
        // (the handlers see to that).
        LexState lex = lex_;
        const StopMask opens_block = slash & star >> 1;
        const StopMask opens_line = slash & slash >> 1;
        const StopMask closes = star & slash >> 1;
        for (int at = 0; at < cut;) {
            StopMask m = lex == LexState::kCode ? opens_block | opens_line
                         : lex == LexState::kBlockComment ? closes
                                                          : ends;
            m &= kAll << at;
            if (m == 0) break;
            const int x = __builtin_ctzll(m);
            if (x >= cut) break;
            if (lex == LexState::kLineComment) {
                // At the window's start the backslash before may be the
                // second byte of a character, which continues nothing.
                const bool continued = x > 0 ? p[x - 1] == '\\'
                                             : p > piece_start_ && p[-1] == '\\' && pair_end_ != p;
                if (continued) {
                    cut = x;
                    break;
                }
                lex = LexState::kCode;
                at = x + 1;
                continue;
            }
            if (x + 1 >= cut) {
                cut = x;  // the handlers take the two bytes together
                break;
            }
            lex = lex != LexState::kCode ? LexState::kCode
                  : (opens_block >> x & 1) != 0 ? LexState::kBlockComment
                                                : LexState::kLineComment;
            at = x + 2;
        }
        if (cut == 0) {
            mask_ = scan::window_mask_avx512(LexState::kCode, p);
            return;
        }
        set_comment_lex(lex);
        if constexpr (kEnc == Encoding::kCp932) {
            const StopMask leads_in = leads & kAll >> (kWindow - cut);
            if (leads_in != 0) pair_end_ = p + kWindow + 1 - __builtin_clzll(leads_in);
        }
        const StopMask in = kAll >> (kWindow - cut);
        const StopMask lfs = lf & in;
        const int col0 = col();
        const scan::RunBits runs = scan::run_bits(space, lfs, in, col0, ts_shift_);
        const StopMask tabs = runs.tabs, dropped = runs.dropped;
        tabs_ += __builtin_popcountll(tabs);
        const StopMask keep = in & ~dropped;
        const StopMask crs = lone & in;
        const int written = crs != 0 ? scan::put_window_avx512<true>(p, q(), tabs, keep, crs)
                                     : scan::put_window_avx512<false>(p, q(), tabs, keep, 0);
        wrote_more(written - cut);
        if (lfs != 0) {
            // The last line in the window begins a piece, at column 0.
            const unsigned char* const line = p + kWindow - __builtin_clzll(lfs);
            set_piece(line, true);
            col_base_ = address(line);
        }
        if (cut < kWindow) {
            p_ = p + cut;
            // A run of spaces that reaches the window's end begins the next.
            if (first_other == kWindow) continue;
            mask_ = scan::window_mask_avx512(LexState::kCode, p) & kAll << cut;
            return;
        }
        // Not p + cut: the next window's loads need not wait for this one's
        // stops.
        p_ = p + kWindow;
    }
}
#endif

// What a line end at p_ does to the lexical state.
template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
RAVOLIN_INLINE void BlockConverter<kPath, kEnc, kKeptCrLf>::line_end_lex() {
    // A line comment ends here unless a backslash of its own (not the second
    // byte of a double-byte character) continues it.
    if (lex_ == LexState::kLineComment) {
        const bool continued = p_ > piece_start_ && p_[-1] == '\\' && pair_end_ != p_;
        if (!continued) set_comment_lex(LexState::kCode);
    } else if (lex_ == LexState::kHeaderName) {
        set_lex(LexState::kCode);  // a header name without its '>' ends with its line
    }
}

// A CR or an LF at p_. Returns true when it ended the piece.
template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
RAVOLIN_INLINE bool BlockConverter<kPath, kEnc, kKeptCrLf>::line_end() {
    line_end_lex();
    if (*p_ == '\n') {
        put_line_end(1);
        return true;
    }
    if (crlf_at(0)) {
        put_line_end(2);
        return true;
    }
    // A lone CR. The byte after it as a text stream would show it: a kept
    // CR LF there is an LF.
    const unsigned char after = crlf_at(1) ? '\n' : next();
    copy1();  // the CR
    if (after == '\r') {
        copy1();
    } else if (after == '\n') {
        put_line_end(kKeptCrLf ? 2 : 1);
        return true;
    }
    // Whatever follows a lone CR in the same piece is a line of its own.
    set_col(0);
    line_begin_ = p_;
    return false;
}

// Where a quote or a '#' begins something the converter leaves alone, the
// bytes are looked at by the functions below, out of line and without the
// converter's state: they are rare, and the loop keeps its indexes in
// registers only while nothing takes its address.

// Whether the quote at q, in code, opens a raw literal: R, LR, uR, UR or u8R
// stands right before it as a word of its own (only this piece, from from,
// is looked at; a double-byte character, ending at pair_end, is a word
// character), then a delimiter of up to 16 characters other than blanks,
// controls, parentheses, backslashes and quotes, and '(' before lim. Returns
// the delimiter's length, or -1: no raw literal (a compiler stops there),
// read on as a string. A '/' after two '?' is a backslash where trigraphs
// are on.
__attribute__((noinline)) int raw_opening(const unsigned char* from, const unsigned char* q,
                                          const unsigned char* lim, const unsigned char* pair_end) {
    const auto word = [](unsigned char b) {
        return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_' || b == '$' ||
               b >= 0x80;
    };
    const unsigned char* s = q;
    int n = 0;
    while (s > from && (word(s[-1]) || pair_end == s)) {
        if (pair_end == s || n == 3) return -1;
        --s;
        ++n;
    }
    const bool prefix = (n == 1 && s[0] == 'R') ||
                        (n == 2 && s[1] == 'R' && (s[0] == 'L' || s[0] == 'u' || s[0] == 'U')) ||
                        (n == 3 && s[0] == 'u' && s[1] == '8' && s[2] == 'R');
    if (!prefix) return -1;
    const unsigned char* d = q + 1;
    int len = 0;
    while (d < lim && *d != '(') {
        const unsigned char b = *d;
        const bool trigraph = b == '/' && len >= 2 && d[-1] == '?' && d[-2] == '?';
        if (len == kMaxRawDelimiter || b <= ' ' || b >= 0x80 || b == ')' || b == '\\' || b == '"' || trigraph) return -1;
        ++d;
        ++len;
    }
    return d < lim ? len : -1;
}

// Whether the quote at q, in a raw literal, ends it: ")delimiter" stands
// right before it on the same line (from: the piece's start).
__attribute__((noinline)) bool raw_closing(const unsigned char* from, const unsigned char* q,
                                           const unsigned char* delim, int n) {
    return q - from > n && q[-1 - n] == ')' && std::memcmp(q - n, delim, static_cast<std::size_t>(n)) == 0;
}

// Whether the '#' at h begins a directive include, include_next or import
// (only blanks between line_begin and it; nullptr: the line began in an
// earlier piece) whose header name opens before lim. Returns the '<', or
// nullptr. *col goes from the '#''s column to the one after the '<'.
__attribute__((noinline)) const unsigned char* header_opening(const unsigned char* line_begin,
                                                              const unsigned char* h, const unsigned char* lim,
                                                              int tab_size, int* col) {
    const auto blank = [](unsigned char b) { return b == ' ' || b == '\t'; };
    if (line_begin == nullptr) return nullptr;
    for (const unsigned char* s = h; s > line_begin; --s) {
        if (!blank(s[-1])) return nullptr;
    }
    const unsigned char* p = h + 1;
    while (p < lim && blank(*p)) ++p;
    const unsigned char* name = p;
    while (p < lim && ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9') ||
                       *p == '_' || *p == '$' || *p >= 0x80)) {
        ++p;
    }
    const auto n = p - name;
    const auto is = [&](const char* w, long len) { return n == len && std::memcmp(name, w, len) == 0; };
    if (!is("include", 7) && !is("include_next", 12) && !is("import", 6)) return nullptr;
    while (p < lim && blank(*p)) ++p;
    if (p >= lim || *p != '<') return nullptr;
    int c = *col;
    for (const unsigned char* s = h; s <= p; ++s) c = *s == '\t' ? c + tab_size - c % tab_size : c + 1;
    *col = c;
    return p;
}

template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
RAVOLIN_INLINE void BlockConverter<kPath, kEnc, kKeptCrLf>::tab() {
    const int c = col();
    q()[0] = '\t';
    ++p_;
    set_col(c + ts_ - mod_ts(c));
}

// A quote in code, a string or a raw literal (the stops see to it).
template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
RAVOLIN_INLINE void BlockConverter<kPath, kEnc, kKeptCrLf>::quote() {
    if (lex_ == LexState::kString) {
        copy1();
        return set_lex(LexState::kCode);
    }
    if (lex_ == LexState::kRawString) {
        const bool end = raw_closing(piece_start_, p_, e_.raw_delimiter, e_.raw_delimiter_len);
        copy1();
        if (end) return set_lex(LexState::kCode);
        return moved();
    }
    const int n = raw_opening(piece_start_, p_, lim_, pair_end_);
    if (n >= 0) {
        std::memcpy(e_.raw_delimiter, p_ + 1, static_cast<std::size_t>(n));
        e_.raw_delimiter_len = n;
        // '"', the delimiter and '(': one column each.
        std::memcpy(q(), p_, static_cast<std::size_t>(n + 2));
        p_ += n + 2;
        return set_lex(LexState::kRawString);
    }
    copy1();
    set_lex(LexState::kString);
}

// A '#' in code. Where it begins a line's directive include, include_next or
// import, the '<' after the name opens a header name, a literal to its '>';
// the blanks before it are left as they are on such a line.
template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
RAVOLIN_INLINE void BlockConverter<kPath, kEnc, kKeptCrLf>::directive() {
    // Most directives (#define, #if...) are told by the byte after the '#'.
    const unsigned char after = next();
    int c = col();
    const unsigned char* lt = after == 'i' || after == ' ' || after == '\t' ? header_opening(line_begin_, p_, lim_, ts_, &c)
                                                                            : nullptr;
    if (lt == nullptr) {
        copy1();
        return moved();
    }
    const auto n = static_cast<std::size_t>(lt + 1 - p_);
    std::memcpy(q(), p_, n);
    p_ += n;
    set_col(c);
    set_lex(LexState::kHeaderName);
}

template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
RAVOLIN_INLINE void BlockConverter<kPath, kEnc, kKeptCrLf>::space_run() {
#ifdef RAVOLIN_HAVE_SSE2
    if constexpr (kVector) {
        // Most runs: shorter than 16, inside the piece, not before a tab,
        // and every column stays where it was. The run becomes a tab for
        // every stop it crosses and, after the last one, the spaces that
        // remain (all of them when it crosses none). Worked out without
        // branches: runs of every length follow each other.
        const int n = __builtin_ctz(scan::non_spaces16(p_) | 1u << 16);
        const unsigned char* end = p_ + n;
        if (n < 16 && end < lim_ && *end != '\t' && n > 1) {
            const int start_col = col();
            const int end_col = start_col + n;
            const int tabs = div_ts(end_col) - div_ts(start_col);
            const int spaces = tabs > 0 ? mod_ts(end_col) : n;
            tabs_ += tabs;
            scan::put_blanks_sse2(q(), tabs);
            p_ = end;
            wrote_more(tabs + spaces - n);
            return;
        }
    }
#endif
    const unsigned char* end = run_end();
    space_run_edge(end < lim_ ? end : lim_);
}

// A run that ends at a tab or at the piece's end, or a single space before
// a tab: the same rule, with what the byte after it changes.
template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
void BlockConverter<kPath, kEnc, kKeptCrLf>::space_run_edge(const unsigned char* end) {
    const int start_col = col();
    const int n = static_cast<int>(end - p_);
    const unsigned char after = end < lim_ ? *end : 0;  // only looked at, never taken
    const int end_col = start_col + n;
    int tabs = div_ts(end_col) - div_ts(start_col);
    int spaces = tabs > 0 ? mod_ts(end_col) : n;
    if (n == 1 && after != '\t') {
        // One space stays a space, even where a tab would take its place.
        tabs = 0;
        spaces = 1;
    }
    // Before a tab the remaining spaces are dropped: the tab reaches the same
    // stop without them (a single space that alone reaches the stop is the
    // tab crossing it). Counted as a tab either way.
    const bool dropped = spaces > 0 && after == '\t';
    tabs_ += tabs + (dropped ? 1 : 0);
    const int kept = dropped ? 0 : spaces;
    fill('\t', tabs);
    fill(' ', kept);
    p_ = end;
    wrote_more(-n);
    set_col(end_col - spaces + kept);
}

// Bytes >= 0x80 in code page 932, as many as follow each other. Returns true
// when the piece ended with them.
template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
RAVOLIN_INLINE bool BlockConverter<kPath, kEnc, kKeptCrLf>::high_cp932() {
    do {
        if (!scan::cp932_lead(*p_)) {
            copy1();  // a half-width kana
            continue;
        }
        if (p_ + 1 >= lim_) {
            // No second byte in this piece: write the lead byte alone; the
            // next piece begins with the missing byte, examined on its own.
            copy1();
            return false;
        }
        const unsigned char second = p_[1];
        if (second > '\r' && second != 0x5C) {
            // The usual pair: no line end to take in, no dot to put after.
            copy2();
            pair_end_ = p_;
            continue;
        }
        if (second == '\n' || crlf_at(1)) {
            // The LF is taken as the second byte, and with it the piece
            // ends; a line comment goes on into the next line.
            copy1();
            put_line_end(second == '\n' ? 1 : 2);
            return true;
        }
        copy2();
        pair_end_ = p_;
        if (lex_ == LexState::kLineComment && second == 0x5C && p_ < lim_ && (*p_ == '\r' || *p_ == '\n')) {
            // A 0x5C second byte before the line end would read as a line
            // continuation to a compiler: the dot keeps the comment short.
            q()[0] = '.';
            wrote_more(1);
            if (dots_ < INT_MAX) ++dots_;
            set_comment_lex(LexState::kCode);
        }
    } while (p_ < lim_ && *p_ >= 0x80);
    return false;
}

// Bytes >= 0x80 in UTF-8, as many as follow each other. A character takes
// the columns its code point shows with (0, 1 or 2); a byte that starts no
// valid sequence is one column of its own. No dot: no UTF-8 sequence holds a
// 0x5C byte.
template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
RAVOLIN_INLINE void BlockConverter<kPath, kEnc, kKeptCrLf>::high_utf8() {
    do {
#ifdef RAVOLIN_HAVE_SSE2
        if constexpr (kVector) {
            // A whole three-byte character (all of Japanese) told, decoded
            // and copied four bytes at a time (the vector paths run on
            // little-endian processors only; the fourth byte is the next
            // one, written over later); the byte-at-a-time path takes the
            // general way below, so the cross-check compares the two. An
            // E0-EF lead, two continuation bytes, and neither an overlong
            // form nor a surrogate is what the lead table allows.
            std::uint32_t x;
            std::memcpy(&x, p_, 4);
            if ((x & 0xC0C0F0u) == 0x8080E0u && lim_ - p_ >= 3) {
                unsigned cp;
#ifdef RAVOLIN_HAVE_WIDE_SCAN
                if constexpr (kPath != ScanPath::kSse2) cp = scan::utf8_code3_bmi2(x);
                else
#endif
                cp = scan::utf8_code3(x);
                if (cp >= 0x800 && cp - 0xD800 >= 0x800) {
                    std::memcpy(q(), &x, 4);
                    p_ += 3;
                    // Three bytes, display_width(cp) columns.
                    col_base_ += 3 - display_width(cp);
                    continue;
                }
            }
        }
#endif
        const unsigned char b = *p_;
        const Utf8Lead lead = kUtf8Leads.at[b];
        const int avail = static_cast<int>(lim_ - p_);
        int have = 1;  // bytes of the sequence seen valid
        if (lead.len > 1 && avail > 1 && p_[1] >= lead.lo && p_[1] <= lead.hi) {
            have = 2;
            while (have < lead.len && have < avail && utf8_continuation(p_[have])) ++have;
        }
        if (lead.len == 0 || (have < lead.len && have < avail)) {
            copy1();  // invalid
            continue;
        }
        if (have < lead.len) {
            // The piece ends inside a valid character: write what is here;
            // the rest begins the next piece and takes no column there.
            while (p_ < lim_) copy1();
            utf8_tail_ = lead.len - have;
            return;
        }
        unsigned cp = b & (0x7Fu >> lead.len);
        for (int k = 1; k < lead.len; ++k) cp = (cp << 6) | (p_[k] & 0x3Fu);
        const int c = col();
        for (int k = 0; k < lead.len; ++k) copy1();
        set_col(c + display_width(cp));
    } while (p_ < lim_ && *p_ >= 0x80);
}

template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
RAVOLIN_INLINE void convert_block_inline(EngineState& e, const unsigned char* window, int len, bool last,
                                         unsigned char* out, long long& tabs, int& used, int& written) {
    BlockConverter<kPath, kEnc, kKeptCrLf> c(e, window, len, last, out);
    tabs += c.run();
    used = c.used();
    written = c.written();
}

#ifdef RAVOLIN_HAVE_WIDE_SCAN
// The wide paths, compiled for their instructions as a whole. Their scanners
// are compiled for those instructions only inside them, so they are inlined
// there by flattening (always_inline would refuse them in the converter's
// own functions).
template <Encoding kEnc, bool kKeptCrLf>
__attribute__((target(RAVOLIN_AVX2), flatten)) void convert_block_avx2(EngineState& e, const unsigned char* window,
                                                                     int len, bool last, unsigned char* out,
                                                                     long long& tabs, int& used, int& written) {
    convert_block_inline<ScanPath::kAvx2, kEnc, kKeptCrLf>(e, window, len, last, out, tabs, used, written);
}

template <Encoding kEnc, bool kKeptCrLf>
__attribute__((target(RAVOLIN_AVX512), flatten)) void convert_block_avx512(EngineState& e, const unsigned char* window,
                                                                         int len, bool last, unsigned char* out,
                                                                         long long& tabs, int& used, int& written) {
    convert_block_inline<ScanPath::kAvx512, kEnc, kKeptCrLf>(e, window, len, last, out, tabs, used, written);
}
#endif

template <ScanPath kPath, Encoding kEnc, bool kKeptCrLf>
void convert_block(EngineState& e, const unsigned char* window, int len, bool last, unsigned char* out,
                   long long& tabs, int& used, int& written) {
#ifdef RAVOLIN_HAVE_WIDE_SCAN
    if constexpr (kPath == ScanPath::kAvx512) {
        convert_block_avx512<kEnc, kKeptCrLf>(e, window, len, last, out, tabs, used, written);
    } else if constexpr (kPath == ScanPath::kAvx2) {
        convert_block_avx2<kEnc, kKeptCrLf>(e, window, len, last, out, tabs, used, written);
    } else
#endif
    {
        convert_block_inline<kPath, kEnc, kKeptCrLf>(e, window, len, last, out, tabs, used, written);
    }
}

void begin(EngineState& e) {
    e.dots = 0;
    e.lex = LexState::kCode;
    e.utf8_tail = 0;
    e.mid_line = false;
    e.raw_delimiter_len = 0;
}

template <ScanPath kPath>
RAVOLIN_INLINE bool step_with(EngineState& e, long long& tabs) {
    const bool kept = e.in->line_ends() == LineEnds::kKept;
    const unsigned char* window;
    const int len = e.in->peek(&window);
    if (len <= 0) return false;
    if (e.cancel && e.cancel->load(std::memory_order_relaxed)) return false;
    {
        unsigned char* out = e.out->reserve(2 * static_cast<std::size_t>(len) + 64);
        const bool last = e.in->exhausted();
        int used = 0, written = 0;
        if (e.encoding == Encoding::kUtf8) {
            if (kept) convert_block<kPath, Encoding::kUtf8, true>(e, window, len, last, out, tabs, used, written);
            else convert_block<kPath, Encoding::kUtf8, false>(e, window, len, last, out, tabs, used, written);
        } else {
            if (kept) convert_block<kPath, Encoding::kCp932, true>(e, window, len, last, out, tabs, used, written);
            else convert_block<kPath, Encoding::kCp932, false>(e, window, len, last, out, tabs, used, written);
        }
        e.in->consume(used);
        e.out->commit(static_cast<std::size_t>(written));
    }
    return true;
}

template <ScanPath kPath>
int convert_with(EngineState& e) {
    long long tabs = 0;
    begin(e);
    while (step_with<kPath>(e, tabs)) {
    }
    return tabs > INT_MAX ? INT_MAX : static_cast<int>(tabs);
}

template <ScanPath kPath>
bool step_with_path(EngineState& e, long long* tabs) {
    return step_with<kPath>(e, *tabs);
}

bool available(ScanPath path) {
    switch (path) {
    case ScanPath::kScalar:
        return true;
    case ScanPath::kSse2:
#ifdef RAVOLIN_HAVE_SSE2
        return true;
#else
        return false;
#endif
    case ScanPath::kAvx2:
#ifdef RAVOLIN_HAVE_WIDE_SCAN
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
#else
        return false;
#endif
    case ScanPath::kAvx512:
#ifdef RAVOLIN_HAVE_WIDE_SCAN
        return available(ScanPath::kAvx2) && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
               __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("popcnt");
#else
        return false;
#endif
    }
    return false;
}

const char* const kPathNames[] = {"scalar", "sse2", "avx2", "avx512"};

// The widest path the processor has, unless RAVOLIN_SCAN names another one
// it has (a test or a comparison of the paths on one machine).
ScanPath initial_path() {
    if (const char* want = std::getenv("RAVOLIN_SCAN")) {
        for (int k = 0; k < 4; ++k) {
            if (std::strcmp(want, kPathNames[k]) == 0 && available(static_cast<ScanPath>(k))) {
                return static_cast<ScanPath>(k);
            }
        }
    }
    for (int k = 3; k > 0; --k) {
        if (available(static_cast<ScanPath>(k))) return static_cast<ScanPath>(k);
    }
    return ScanPath::kScalar;
}

std::atomic<ScanPath>& path_in_use() {
    static std::atomic<ScanPath> path{initial_path()};
    return path;
}

}  // namespace

int convert_file(EngineState& e) {
    e.expanded = 0;
    if (e.style != Style::kTabs) return convert_styled(e);
    switch (path_in_use().load(std::memory_order_relaxed)) {
#ifdef RAVOLIN_HAVE_WIDE_SCAN
    case ScanPath::kAvx512:
        return convert_with<ScanPath::kAvx512>(e);
    case ScanPath::kAvx2:
        return convert_with<ScanPath::kAvx2>(e);
#endif
#ifdef RAVOLIN_HAVE_SSE2
    case ScanPath::kSse2:
        return convert_with<ScanPath::kSse2>(e);
#endif
    default:
        return convert_with<ScanPath::kScalar>(e);
    }
}

void convert_begin(EngineState& e) { begin(e); }

bool convert_step(EngineState& e, long long* tabs) {
    switch (path_in_use().load(std::memory_order_relaxed)) {
#ifdef RAVOLIN_HAVE_WIDE_SCAN
    case ScanPath::kAvx512:
        return step_with_path<ScanPath::kAvx512>(e, tabs);
    case ScanPath::kAvx2:
        return step_with_path<ScanPath::kAvx2>(e, tabs);
#endif
#ifdef RAVOLIN_HAVE_SSE2
    case ScanPath::kSse2:
        return step_with_path<ScanPath::kSse2>(e, tabs);
#endif
    default:
        return step_with_path<ScanPath::kScalar>(e, tabs);
    }
}

#ifdef RAVOLIN_SCALAR_SCAN
int convert_file_scalar(EngineState& e) { return convert_with<ScanPath::kScalar>(e); }
#endif

bool scan_path_available(ScanPath path) { return available(path); }

bool use_scan_path(ScanPath path) {
    if (!available(path)) return false;
    path_in_use().store(path, std::memory_order_relaxed);
    return true;
}

ScanPath scan_path_in_use() { return path_in_use().load(std::memory_order_relaxed); }

const char* scan_path() {
    switch (scan_path_in_use()) {
    case ScanPath::kAvx512:
        return "AVX-512 scan";
    case ScanPath::kAvx2:
        return "AVX2 scan";
    case ScanPath::kSse2:
        return "SSE2 scan";
    default:
        return "scalar scan";
    }
}

}  // namespace ravolin
