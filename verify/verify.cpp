#include "verify/verify.h"

#include "verify/c_lexer.h"
#include "verify/unit_reader.h"

namespace ravolin {
namespace {

struct Token {
    UnitKind kind;
    unsigned char b0, b1;
    bool literal;      // part of a string literal or character constant
    bool dot_allowed;  // a '.' here may be the converter's, if a line end follows
};

bool same(const Token& a, const Token& b) {
    if (a.kind != b.kind) return false;
    if (a.kind == UnitKind::kByte) return a.b0 == b.b0;
    if (a.kind == UnitKind::kPair) return a.b0 == b.b0 && a.b1 == b.b1;
    return true;  // a line end, a run of blanks, the end
}

bool is_blank(const Unit& u) { return u.kind == UnitKind::kByte && (u.b0 == ' ' || u.b0 == '\t'); }

// One file as the tokens compared: its units, with each run of blanks
// outside literals as one.
class Side {
public:
    Side(ByteSource& src, Encoding enc, UnitReader::Role role) : reader_(src, enc, role) {}

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

    // Passes over the bytes both files have in common that change nothing
    // but the lexer's word (most of a file), in large steps.
    static void pass_common(Side& a, Side& b) {
        const unsigned char* bulk = a.lexer_.bulk_bytes();
        if (!bulk) return;
        const unsigned char* single = a.reader_.single_bytes();
        for (;;) {
            const unsigned char *pa, *pb;
            std::size_t na = a.reader_.view(&pa), nb = b.reader_.view(&pb);
            std::size_t n = na < nb ? na : nb, k = 0;
            while (k < n && pa[k] == pb[k] && bulk[pa[k]] && single[pa[k]]) ++k;
            if (k == 0) return;
            a.pass(pa, k);
            b.pass(pb, k);
            if (k < n) return;
        }
    }

private:
    void pass(const unsigned char* p, std::size_t n) {
        reader_.skip(n);
        lexer_.pass(p, n);
        after_5c_ = false;
    }

    UnitReader reader_;
    CLexer lexer_;
    bool after_5c_ = false;  // the last token was a 0x5C-ending character in a line comment
};

}  // namespace

VerifyResult verify_conversion(ByteSource& original, ByteSource& converted, Encoding enc) {
    Side was(original, enc, UnitReader::Role::kOriginal);
    Side now(converted, enc, UnitReader::Role::kConverted);
    for (;;) {
        // Both lexers stand in the same state here: all before was the same.
        Side::pass_common(was, now);
        const Token a = was.next();
        Token b = now.next();
        if (a.kind == UnitKind::kError || b.kind == UnitKind::kError) return VerifyResult::kReadError;
        if (!same(a, b) && b.dot_allowed && b.kind == UnitKind::kByte && b.b0 == '.' &&
            (a.kind == UnitKind::kNewline || a.kind == UnitKind::kLoneCr)) {
            // Only pairs can allow a dot, and only code page 932 has pairs.
            b = now.next();
            if (b.kind == UnitKind::kError) return VerifyResult::kReadError;
        }
        if (!same(a, b)) {
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
