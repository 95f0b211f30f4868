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

private:
    UnitReader reader_;
    CLexer lexer_;
    bool after_5c_ = false;  // the last token was a 0x5C-ending character in a line comment
};

}  // namespace

VerifyResult verify_conversion(ByteSource& original, ByteSource& converted, Encoding enc) {
    Side was(original, enc, UnitReader::Role::kOriginal);
    Side now(converted, enc, UnitReader::Role::kConverted);
    for (;;) {
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
