#include "verify/verify.h"

#include "verify/c_lexer.h"
#include "verify/common_run.h"
#include "verify/fast_lane.h"
#include "verify/unit_reader.h"

namespace ravolin {
namespace {

struct Token {
    UnitKind kind;
    unsigned char b0, b1;
    bool literal;      // part of a string literal or character constant
    bool dot_allowed;  // a '.' here may be the converter's, if a line end follows
};

// own_ends: a line end must be the original's own (LF opposite LF, CR LF
// opposite CR LF).
bool same(const Token& a, const Token& b, bool own_ends) {
    if (a.kind != b.kind) return false;
    if (a.kind == UnitKind::kNewline) return !own_ends || a.b0 == b.b0;
    if (a.kind == UnitKind::kByte) return a.b0 == b.b0;
    if (a.kind == UnitKind::kPair) return a.b0 == b.b0 && a.b1 == b.b1;
    return true;  // a line end, a run of blanks, the end
}

bool is_blank_byte(unsigned char c) { return c == ' ' || c == '\t'; }
bool is_blank(const Unit& u) { return u.kind == UnitKind::kByte && is_blank_byte(u.b0); }

// One file as the tokens compared: its units, with each run of blanks
// outside literals as one.
class Side {
public:
    Side(ByteSource& src, const Encoding* enc, UnitReader::Role role) : reader_(src, enc, role) {}

    unsigned long long taken() const { return reader_.taken(); }

    Token next() {
        Token t{UnitKind::kEnd, 0, 0, false, after_5c_};
        Unit u = reader_.peek();
        if (u.kind == UnitKind::kEnd || u.kind == UnitKind::kError) {
            t.kind = u.kind;
            return t;
        }
        reader_.take();
        t.literal = lexer_.feed(u);
        t.kind = u.kind;
        t.b0 = u.b0;
        t.b1 = u.b1;
        if (is_blank(u) && !t.literal) {
            t.kind = UnitKind::kBlanks;
            // Blanks outside a literal leave the lexer outside one.
            while (is_blank(u = reader_.peek())) {
                reader_.take();
                lexer_.feed(u);
            }
        }
        after_5c_ = t.kind == UnitKind::kPair && t.b1 == 0x5C && lexer_.in_line_comment();
        return t;
    }

    // Passes over what both files have in common (most of a file) in large
    // steps, see common_run, and takes what that leaves when it is the same
    // on both sides and needs no token: a character that changes the
    // lexer's state, a line end, a run of blanks at a view's end. Returns
    // where the token-by-token comparison must decide.
    static void pass_common(Side& a, Side& b, VerifyProgress* progress, bool own_ends) {
        for (;;) {
            if (progress) {
                progress->original = a.taken();
                progress->converted = b.taken();
            }
            const unsigned char* single = a.reader_.single_bytes();
            const unsigned char *pa, *pb;
            std::size_t na = a.reader_.view(&pa), nb = b.reader_.view(&pb);
            if (na == 0 || nb == 0) return;
            if (a.lexer_.lane() != CLexer::Lane::kNone) {
                const RunEnd e = fast_lane(pa, na, pb, nb, a.lexer_, b.lexer_, a.reader_.pairs(), own_ends);
                if (e.a > 0) {
                    a.skip(e.a);
                    b.skip(e.b);
                    if (e.a == na || e.b == nb) continue;
                    pa += e.a;
                    pb += e.b;
                    na -= e.a;
                    nb -= e.b;
                }
            }
            const CLexer::Bulk* bulk = a.lexer_.bulk();
            if (bulk) {
                const RunEnd e = common_run(pa, na, pb, nb, *bulk, single, a.reader_.pairs(), own_ends);
                if (e.a > 0) {
                    a.pass(pa, e.a);
                    b.pass(pb, e.b);
                    if (e.a == na || e.b == nb) continue;  // a view is used up: read on
                    pa += e.a;
                    pb += e.b;
                    na -= e.a;
                    nb -= e.b;
                }
            }
            const unsigned char x = pa[0], y = pb[0];
            if (is_blank_byte(x) || is_blank_byte(y)) {
                // Whether a blank starts a run or belongs to a literal, only
                // a state with bulk tells.
                if (!bulk || !bulk->blank_runs || !is_blank_byte(x) || !is_blank_byte(y)) return;
                a.pass_blanks();
                b.pass_blanks();
                continue;
            }
            const std::size_t la = a.reader_.newline_at(pa, na), lb = b.reader_.newline_at(pb, nb);
            if (la != 0 && lb != 0 && (!own_ends || la == lb)) {
                a.take(Unit{UnitKind::kNewline, 0, 0}, la);
                b.take(Unit{UnitKind::kNewline, 0, 0}, lb);
            } else if (x == y && single[x] && la == 0 && lb == 0) {
                a.take(Unit{UnitKind::kByte, x, 0}, 1);
                b.take(Unit{UnitKind::kByte, y, 0}, 1);
            } else {
                return;
            }
        }
    }

private:
    void pass(const unsigned char* p, std::size_t n) {
        reader_.skip(n);
        lexer_.pass(p, n);
        after_5c_ = false;
    }

    // Bytes the fast lane passed; it brought the lexer along.
    void skip(std::size_t n) {
        reader_.skip(n);
        after_5c_ = false;
    }

    // Takes a run of blanks outside literals, across views.
    void pass_blanks() {
        const unsigned char* p;
        std::size_t n;
        while ((n = reader_.view(&p)) > 0) {
            std::size_t i = 0;
            while (i < n && is_blank_byte(p[i])) ++i;
            reader_.skip(i);
            if (i < n) break;
        }
        lexer_.feed(Unit{UnitKind::kByte, ' ', 0});
        after_5c_ = false;
    }

    // One unit in view, n bytes long, that is no pair.
    void take(const Unit& u, std::size_t n) {
        reader_.skip(n);
        lexer_.feed(u);
        after_5c_ = false;
    }

    UnitReader reader_;
    CLexer lexer_;
    bool after_5c_ = false;  // the last token was a 0x5C-ending character in a line comment
};

}  // namespace

VerifyResult verify_conversion(ByteSource& original, ByteSource& converted, Encoding enc, LineEnds ends) {
    return verify_conversion(original, converted, &enc, nullptr, ends);
}

VerifyResult verify_conversion(ByteSource& original, ByteSource& converted, const Encoding* enc,
                               VerifyProgress* progress, LineEnds ends) {
    const bool own_ends = ends == LineEnds::kKept;
    Side was(original, enc, UnitReader::Role::kOriginal);
    Side now(converted, enc, own_ends ? UnitReader::Role::kOwnEnds : UnitReader::Role::kConverted);
    for (;;) {
        // Both lexers stand in the same state here: all before was the same.
        Side::pass_common(was, now, progress, own_ends);
        const Token a = was.next();
        Token b = now.next();
        if (a.kind == UnitKind::kError || b.kind == UnitKind::kError) return VerifyResult::kReadError;
        if (!same(a, b, own_ends) && b.dot_allowed && b.kind == UnitKind::kByte && b.b0 == '.' &&
            (a.kind == UnitKind::kNewline || a.kind == UnitKind::kLoneCr)) {
            // Only pairs can allow a dot, and only code page 932 has pairs.
            b = now.next();
            if (b.kind == UnitKind::kError) return VerifyResult::kReadError;
        }
        if (!same(a, b, own_ends)) {
            if (progress) progress->differs = was.taken();
            return a.literal || b.literal ? VerifyResult::kLiteralChanged : VerifyResult::kTextChanged;
        }
        if (a.kind == UnitKind::kEnd) return VerifyResult::kSame;
    }
}

const char* verify_reason(VerifyResult r) {
    switch (r) {
    case VerifyResult::kSame:
        return "nothing but layout changed";
    case VerifyResult::kLiteralChanged:
        return "string literal would change";
    case VerifyResult::kTextChanged:
        return "text would change";
    case VerifyResult::kReadError:
        return "read error";
    }
    return "";
}

}  // namespace ravolin
