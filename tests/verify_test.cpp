// The conversion check, table-driven. Most converted texts come from the
// real converter; the faults it does not make are put into its output by
// hand (the `from` text of the output replaced by `to`).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_util.h"
#include "verify/fast_lane.h"
#include "verify/verify.h"

using ravolin::ByteSource;
using ravolin::Encoding;
using ravolin::MemorySource;
using ravolin::VerifyResult;
using ravolin::test::convert;

namespace {

constexpr VerifyResult kSame = VerifyResult::kSame;
constexpr VerifyResult kLiteral = VerifyResult::kLiteralChanged;
constexpr VerifyResult kText = VerifyResult::kTextChanged;
constexpr Encoding kCp932 = Encoding::kCp932;
constexpr Encoding kUtf8 = Encoding::kUtf8;

const std::string kHyo = "\x95\x5c";  // second byte 0x5C, a backslash to a byte reader
const std::string kA = "\x82\xa0";    // an ordinary double-byte character
const std::string kGo = "\xe8\xaa\x9e";  // a UTF-8 character that pairs up wrongly in code page 932

struct Case {
    const char* name;
    Encoding enc;
    std::string in;
    std::string from, to;  // empty from: the converter's output as it is
    VerifyResult want;
};

VerifyResult verify(const std::string& was, const std::string& now, Encoding enc, std::size_t chunk) {
    MemorySource a(was.data(), was.size(), chunk), b(now.data(), now.size(), chunk);
    return ravolin::verify_conversion(a, b, enc);
}

// converter: the encoding the converter is told, when not the file's own.
void check(const std::vector<Case>& cases, const Encoding* converter = nullptr) {
    for (const Case& c : cases) {
        std::string out = convert(c.in, 4, 0, converter ? *converter : c.enc).text;
        if (!c.from.empty()) {
            std::size_t at = out.find(c.from);
            ASSERT_NE(at, std::string::npos) << c.name;
            out.replace(at, c.from.size(), c.to);
        }
        // One-byte and three-byte reads put every unit across a refill.
        for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{3}}) {
            EXPECT_EQ(verify(c.in, out, c.enc, chunk), c.want) << c.name << " chunk=" << chunk;
        }
        // Read where they lie, a unit across blocks lent one, two or three
        // bytes at a time.
        for (std::size_t block : {std::size_t{1}, std::size_t{2}, std::size_t{3}}) {
            auto a = ravolin::test::lending_source(c.in, block), b = ravolin::test::lending_source(out, block);
            EXPECT_EQ(ravolin::verify_conversion(*a, *b, c.enc), c.want) << c.name << " lent=" << block;
        }
    }
}

TEST(Verify, ConverterOutputThatKeepsTheText) {
    check({
        {"blanks in code and comments", kCp932, "int  main(void)\n{\n        return  0;   /* done    now */\n}\n", "", "", kSame},
        {"literals left alone", kCp932, "s = \"a    b\";    c = ' ';\n", "", "", kSame},
        {"'\"' keeps the converter from later blanks", kCp932, "c = '\"';    x = 1;\ns = \"\";\n", "", "", kSame},
        {"dot after 0x5C at a line comment's end", kCp932, "x;  // " + kHyo + "\ns = \"a    b\";\n", "", "", kSame},
        {"0x5C second byte before a closing quote", kCp932, "s = \"" + kHyo + "\";    t = \"a    b\";\n", "", "", kSame},
        {"what follows a lone CR is a line", kCp932, "a = 1;\r    b = 2;\n", "", "", kSame},
        {"CR LF and a final Ctrl-Z", kCp932, "int     a;\r\n\x1a", "", "", kSame},
        {"splice continues a line comment", kCp932, "// note \\\ns = \"a    b\";\n", "", "", kSame},
        {"spliced comment opener", kCp932, "/\\\n* don't    x */\n", "", "", kSame},
        {"escaped quote inside a string", kCp932, "s = \"\\\"\";    t = 1;\n", "", "", kSame},
        {"escaped backslash ends a string", kCp932, "s = \"\\\\\";    t = 1;\n", "", "", kSame},
        {"escaped quote inside a constant", kCp932, "c = '\\'';    t = 1;\n", "", "", kSame},
        {"quotes inside comments", kCp932, "/* \" */    x = 1;\n// \"\n    y = 2;\n", "", "", kSame},
        {"constant without its quote ends with the line", kCp932, "#error don't\n    x = 1;\n", "", "", kSame},
        {"NUL byte", kCp932, std::string("a\0    b;\n", 9), "", "", kSame},
        {"digit separators inside numbers", kCp932,
         "a = 0x7'0000;    b = 1'000'000;    c = 0b1010'1010;    s = \"x    y\";\n", "", "", kSame},
        {"line longer than a piece", kCp932, std::string(1990, 'x') + "  \"a    b\"    y\n", "", "", kSame},
        {"raw literal on one line", kCp932, "s = R\"x(a    b)x\";    t = 1;\n", "", "", kSame},
        {"blanks before a header name", kCp932, "#include    <a.h>\nx    = a    <    b;\n", "", "", kSame},
        {"a define is no include", kCp932, "#define X <a    b>\n", "", "", kSame},
        {"'?' without a trigraph", kCp932, "s = \"??\";    x = a ? b    : c;\n", "", "", kSame},
    });
}

TEST(Verify, ConverterOutputThatWouldChangeALiteral) {
    check({
        {"'\"' makes a real string look like code", kCp932, "c = '\"'; s = \"a    b\"; d = '\"';\n", "", "", kLiteral},
        {"blanks inside a character constant", kCp932, "c = 'a    b';\n", "", "", kLiteral},
        {"constant right after a number", kCp932, "x = 1 '    ';\n", "", "", kLiteral},
        {"lead byte before a line end", kCp932, "x = 1; // caf\xe9\ns = \"a    b\";\n", "", "", kLiteral},
        {"spliced comment closer", kCp932, "/* a *\\\n/ s = \"a    b\";\n", "", "", kLiteral},
        {"spliced line comment opener", kCp932, "/\\\n/ don't \"\ns = \"a    b\";\n", "", "", kLiteral},
        // The converter takes them for lead bytes; code page 932 does not.
        {"0x80 is a byte of its own", kCp932, "s = \"\x80\\\";    t = \"a    b\";\n", "", "", kLiteral},
        {"0xFD is a byte of its own", kCp932, "s = \"\xfd\\\";    t = \"a    b\";\n", "", "", kLiteral},
        {"lone CR ends a line comment", kCp932, "// c\r'a    b';\n", "", "", kLiteral},
        // The lead byte is a piece's last: the converter reads its 0x5C second
        // byte as a backslash that continues the comment.
        {"0x5C split from its lead byte by a piece end", kCp932,
         "// " + std::string(1995, 'x') + kHyo + "\ns = \"a    b\";\n", "", "", kLiteral},
        // Where trigraphs are on, ??/ is a backslash.
        {"trigraph backslash escapes a quote", kCp932, "s = \"a?\?/\";    t = 1;\n", "", "", kLiteral},
    });
}

// A UTF-8 file converted as code page 932: its characters pair up wrongly.
TEST(Verify, ConverterToldTheWrongEncoding) {
    check({
        {"UTF-8 read as code page 932", kUtf8, "char *a = \"" + kGo + "\"; char *b = \"a    b\";\n", "", "", kLiteral},
        {"dot inside a splice", kUtf8, "// " + kGo + "\\\nx = 1;\n", "", "", kText},
    }, &kCp932);
}

TEST(Verify, OtherTextChanges) {
    check({
        {"text after a Ctrl-Z is lost", kCp932, "a = 1;\x1a b = 2;\n", "", "", kText},
        {"blank between tokens removed", kCp932, "int x;\n", "int x", "intx", kText},
        {"line end removed", kCp932, "a;\nb;\n", "\r\nb", "b", kText},
        {"LF without its CR", kCp932, "a;\nb;\n", "a;\r\n", "a;\n", kText},
        {"lone CR becomes CR LF", kCp932, "a;\rb;\n", "\rb", "\r\nb", kText},
        {"last line missing", kCp932, "a;\nb;\n", "b;\r\n", "", kText},
        {"text added at the end", kCp932, "a;\n", "a;\r\n", "a;\r\nb", kText},
        {"dot in a block comment", kCp932, "/* " + kHyo + "\n*/\n", kHyo, kHyo + ".", kText},
        {"dot after a second byte other than 0x5C", kCp932, "// " + kA + "\n", kA, kA + ".", kText},
        {"dot not right after the character", kCp932, "// " + kHyo + "x\n", "x\r", "x.\r", kText},
        {"dot not before the line end", kCp932, "// " + kHyo + "x\n", kHyo, kHyo + ".", kText},
    });
}

TEST(Verify, LinesThatKeepTheirOwnLineEnds) {
    // A file converted in some lines only keeps every line end as it was:
    // the check then wants each to be the original's own.
    struct Row {
        const char* name;
        std::string was, now;
        VerifyResult want;
    };
    const Row rows[] = {
        {"LF kept opposite LF", "    a\n    b\n", "\ta\n    b\n", kSame},
        {"a dot at the end of a line", "// " + kHyo + "\nx;\n", "// " + kHyo + ".\nx;\n", kSame},
        {"CR LF became LF", "a;\r\nb;\r\n", "a;\nb;\r\n", kText},
        {"LF became CR LF", "a;\nb;\n", "a;\r\nb;\n", kText},
        {"text changed", "int x;\n", "intx;\n", kText},
    };
    for (const Row& r : rows) {
        for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{3}}) {
            MemorySource a(r.was.data(), r.was.size(), chunk), b(r.now.data(), r.now.size(), chunk);
            EXPECT_EQ(ravolin::verify_conversion(a, b, kCp932, ravolin::LineEnds::kKept), r.want)
                << r.name << " chunk=" << chunk;
        }
    }
}

TEST(Verify, HandMadeLiteralChanges) {
    check({
        {"blank in a string becomes a tab", kCp932, "s = \"a b\";\n", "a b", "a\tb", kLiteral},
        {"character constant changed", kCp932, "c = 'a';\n", "'a'", "'b'", kLiteral},
        {"string after a 0x5C second byte and a quote", kCp932, "s = \"" + kHyo + "\"; t = \"a  b\";\n", "a  b", "a\tb", kLiteral},
        {"blank after a splice inside a string", kCp932, "s = \"a\\\n  b\";\n", "\n  b", "\n\tb", kLiteral},
        {"blank after a splice at a lone CR", kCp932, "s = \"a\\\r  b\";\n", "\r  b", "\r\tb", kLiteral},
        {"blank between prefix and quote", kCp932, "s = L\"x\";\n", "L\"", "L \"", kLiteral},
        {"the same dot inside a string", kCp932, "s = \"// " + kHyo + "\\\n\";\n", kHyo, kHyo + ".", kLiteral},
        // Blanks a lexer without raw literals or header names takes for code.
        {"blank after a quote in a raw literal", kCp932, "s = R\"x(a \" b )x\";\n", "\" b", "\"\tb", kLiteral},
        {"u8R prefix", kCp932, "s = u8R\"x(a \" b )x\";\n", "\" b", "\"\tb", kLiteral},
        {"raw literal's end needs its delimiter", kCp932, "s = R\"xy(a )x \" b )xy\";\n", "\" b", "\"\tb", kLiteral},
        {"raw literal over two lines", kCp932, "s = R\"(\n  a)\";\n", "  a)", "\ta)", kLiteral},
        {"raw literal's end on one line", kCp932, "s = R\"x(a)\nx\" b)x\";\n", "\" b", "\"\tb", kLiteral},
        {"blank in a header name", kCp932, "#include <a b.h>\n", "a b", "a\tb", kLiteral},
        {"include_next after blanks", kCp932, "  #  include_next <a b.h>\n", "a b", "a\tb", kLiteral},
        {"import without a blank", kCp932, "#import<a b.h>\n", "a b", "a\tb", kLiteral},
        {"trigraph backslash splices a string", kCp932, "s = \"a?\?/\n    b\";\n", "    b", "\tb", kLiteral},
    });
}

// Layouts another converter could write, where a run of blanks starts the
// same on both sides and goes on on one side only: the check passes most
// of a file sixteen bytes at a time, and must not take such a start for a
// whole run. The tail puts a whole sixteen bytes after the place.
TEST(Verify, RunsThatStartAlike) {
    const std::string tail = " = 1;  /* well past sixteen more bytes */\n";
    check({
        {"converted run goes on", kCp932, "x y" + tail, "x y", "x \ty", kSame},
        {"original run goes on", kCp932, "x  y" + tail, "x  y", "x y", kSame},
    });
}

// Where the check passes a file a 64-byte window at a time, on every scan
// path the machine has: each text is followed by enough code that the
// windows cover it, and the answer must be the one unit by unit gives.
TEST(Verify, WindowAtATime) {
    const std::string more = "\nint tail_of_the_file_to_fill_a_window_and_more = 1;    /* x */    y = 2;\n";
    const std::vector<Case> cases = {
        {"directive after a block comment's line end", kCp932, "/* a\n */ #include <a b.h>\n" + more, "a b", "a\tb", kLiteral},
        {"'*' before the comment's end", kCp932, "/* a **/ s = \"a    b\";\n" + more, "", "", kSame},
        {"'/' before a string", kCp932, "x = a /\"b  c\";\n" + more, "b  c", "b\tc", kLiteral},
        {"a define is no include", kCp932, "#define X <a    b>\n" + more, "", "", kSame},
        {"include after its '#'", kCp932, "#include <a b.h>\n" + more, "a b", "a\tb", kLiteral},
        {"include after blanks", kCp932, "x;\n  #  include <a b.h>\n" + more, "a b", "a\tb", kLiteral},
        {"include after a splice", kCp932, "x;\n#\\\ninclude <a b.h>\n" + more, "a b", "a\tb", kLiteral},
        {"'#' inside a define", kCp932, "#define S(x) #x\n#define C(a, b) a ## b <c    d>\n" + more, "", "", kSame},
        {"dot after 0x5C at a line comment's end", kCp932, "x;  // " + kA + kHyo + "\n" + more, "", "", kSame},
        {"0x5C second byte in a block comment", kCp932, "/* " + kHyo + "*/ s = \"a  b\";\n" + more, "a  b", "a\tb", kLiteral},
        {"splice continues a line comment", kCp932, "// x \\\ns = \"a    b\";\n" + more, "", "", kSame},
        {"run removed", kCp932, "int  x;\n" + more, "int\t x", "intx", kText},
        {"line end removed", kCp932, "a;\nb;\n" + more, "\r\nb", "b", kText},
        {"string after a splice", kCp932, "#define S \\\n  \"a  b\"\n" + more, "a  b", "a\tb", kLiteral},
        {"raw literal after a splice", kCp932, "s = R\\\n\"x(a\" )x\";\n" + more, "\" )x", "\"\t)x", kLiteral},
        {"string after character constants", kCp932, "c = 'x' + '\\'';  s = \"a  b\";\n" + more, "a  b", "a\tb", kLiteral},
        {"'?' then a string", kCp932, "x = a ? b : c;  s = \"a  b\";\n" + more, "a  b", "a\tb", kLiteral},
        {"include after #ifdef", kCp932, "#ifdef X\n#include <a b.h>\n" + more, "a b", "a\tb", kLiteral},
        {"dot before a lone CR", kCp932, "x;  // " + kHyo + "\rb = \"a  b\";\n" + more, "a  b", "a\tb", kLiteral},
        {"dot taken away", kCp932, "x;  // " + kA + kHyo + ".\n" + more, kHyo + ".", kHyo, kText},
        {"LF without CR in a line comment", kCp932, "x;  // c\n" + more, "c\r\n", "c\n", kText},
        {"CR LF after a long line comment", kCp932,
         "x;  // " + std::string(120, 'c') + "\r\n    y = 1;\r\n" + std::string(130, 'z') + "\r\n", "", "", kSame},
    };
    const ravolin::ScanPath was = ravolin::scan_path_in_use();
    for (int k = 0; k < 6; ++k) {
        // The last two: AVX-512 and AVX2 without squeezed windows.
        const auto path = static_cast<ravolin::ScanPath>(k < 4 ? k : 7 - k);
        if (!ravolin::use_scan_path(path)) continue;
        ravolin::allow_squeeze(k < 4);
        SCOPED_TRACE(k);
        check(cases);
        // Views that end at every place of the texts: nothing is read past one.
        for (const Case& c : cases) {
            std::string out = convert(c.in, 4, 0, c.enc).text;
            if (!c.from.empty()) out.replace(out.find(c.from), c.from.size(), c.to);
            for (std::size_t block = 66; block < 66 + 128; ++block) {
                auto a = ravolin::test::lending_source(c.in, block), b = ravolin::test::lending_source(out, block);
                EXPECT_EQ(ravolin::verify_conversion(*a, *b, c.enc), c.want) << c.name << " lent=" << block;
            }
        }
    }
    ravolin::allow_squeeze(true);
    ravolin::use_scan_path(was);
}

// A file larger than the check's buffers: units and literals across their
// refills, and a change near the end still found.
TEST(Verify, LargeFile) {
    std::string in;
    for (int i = 0; in.size() < 100000; ++i) {
        in += "    x" + std::to_string(i) + " = \"a    " + kA + kHyo + "\";    // " + kHyo + "\n";
    }
    std::string out = convert(in, 4).text;
    EXPECT_EQ(verify(in, out, kCp932, 0), kSame);
    std::size_t at = out.rfind("a    ");
    out.replace(at, 5, "a\t");
    EXPECT_EQ(verify(in, out, kCp932, 0), kLiteral);
}

class FailingSource : public ByteSource {
public:
    long read(unsigned char* buf, std::size_t n) override {
        if (given_) return -1;
        given_ = true;
        buf[0] = 'a';
        return n > 0 ? 1 : 0;
    }

private:
    bool given_ = false;
};

TEST(Verify, ReadErrorOnEitherSide) {
    const std::string text = "a";
    MemorySource good1(text.data(), text.size());
    FailingSource bad1;
    EXPECT_EQ(ravolin::verify_conversion(bad1, good1, kCp932), VerifyResult::kReadError);
    MemorySource good2(text.data(), text.size());
    FailingSource bad2;
    EXPECT_EQ(ravolin::verify_conversion(good2, bad2, kCp932), VerifyResult::kReadError);
}

}  // namespace

namespace {

// Every style only moves blanks: a tab turned into spaces outside literals
// is a change of layout, the same tab inside one is not.
TEST(Verify, EveryStyleChangesLayoutOnly) {
    const std::string text = "\tint\tx;  /*\tc */ s = \"a\t  b\";\n        f(a,\n\t\t  b); // " + kHyo + "\n" +
                             "t = \"x\\\n\t\ty\";\n";
    for (const ravolin::Style style : {ravolin::Style::kLeading, ravolin::Style::kSmart, ravolin::Style::kExpand,
                                       ravolin::Style::kExpandLeading}) {
        const std::string out =
            convert(text, 4, 0, kCp932, ravolin::convert_file, ravolin::LineEnds::kKept, style).text;
        EXPECT_EQ(verify(text, out, kCp932, 0), kSame) << static_cast<int>(style);
    }
    std::string wrong = convert(text, 4, 0, kCp932, ravolin::convert_file, ravolin::LineEnds::kKept,
                                ravolin::Style::kExpand).text;
    wrong.replace(wrong.find("\"a\t"), 3, "\"a ");
    EXPECT_EQ(verify(text, wrong, kCp932, 0), kLiteral);
}

}  // namespace
