// UTF-8 in the engine: columns by East Asian Width, characters never split,
// the byte order mark kept; and how a file's or a stream's encoding is told.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/encoding.h"
#include "engine/engine.h"
#include "engine/utf8.h"
#include "tests/test_util.h"

using ravolin::Encoding;
using ravolin::test::convert;
using ravolin::test::crlf;

namespace {

const std::string kGo = "\xe8\xaa\x9e";  // U+8A9E, wide

struct Case {
    const char* name;
    std::string in;
    std::string want;  // LF form
    int tabs;
};

void check_utf8(const std::vector<Case>& cases) {
    for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{3}}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " chunk=" + std::to_string(chunk));
            auto r = convert(c.in, 4, chunk, Encoding::kUtf8);
            EXPECT_EQ(r.text, crlf(c.want));
            EXPECT_EQ(r.tabs, c.tabs);
            EXPECT_EQ(r.dots, 0);
        }
    }
}

TEST(Utf8, ColumnsFollowEastAsianWidth) {
    check_utf8({
        {"wide character is two columns", kGo + "  x\n", kGo + "\tx\n", 1},
        {"fullwidth letter is two columns", "\xef\xbc\xa1  x\n", "\xef\xbc\xa1\tx\n", 1},
        {"astral wide character", "\xf0\x9f\x98\x80  x\n", "\xf0\x9f\x98\x80\tx\n", 1},
        {"two-byte letter is one column", "\xc3\xa9   x\n", "\xc3\xa9\tx\n", 1},
        {"combining mark takes no column", "e\xcc\x81   x\n", "e\xcc\x81\tx\n", 1},
        {"zero-width space takes no column", "ab\xe2\x80\x8b  x\n", "ab\xe2\x80\x8b\tx\n", 1},
        {"byte order mark kept, no column", "\xef\xbb\xbf    x\n", "\xef\xbb\xbf\tx\n", 1},
        {"invalid bytes one column each", "\xff\xfe  x\n", "\xff\xfe\tx\n", 1},
        {"stray continuation byte one column", "\x80   x\n", "\x80\tx\n", 1},
        {"sequence broken by a space", "\xe8\xaa   x\n", "\xe8\xaa\t x\n", 1},
    });
}

TEST(Utf8, StringsAndCommentsStayWhole) {
    check_utf8({
        {"wide character inside a string", "x = \"" + kGo + "\";    y = \"a    b\";\n",
         "x = \"" + kGo + "\";\t y = \"a    b\";\n", 1},
        {"line comment with a wide character ends at the line end", "// " + kGo + "\n\"a        b\"\n",
         "// " + kGo + "\n\"a        b\"\n", 0},
        {"no dot: a backslash at a comment's end continues it", "// \x95\\\n\"    \"\n", "// \x95\\\n\"\t \"\n", 1},
    });
}

TEST(Utf8, CharacterCutByAPieceEnd) {
    // Long lines go in pieces of 1999 bytes; a character cut by a piece's end
    // is written whole and its rest takes no column in the next piece, where
    // the four spaces then start at column 0.
    for (int before : {1998, 1997}) {
        SCOPED_TRACE(before);
        std::string line = std::string(static_cast<std::size_t>(before), 'a') + kGo + "    x\n";
        auto r = convert(line, 4, 0, Encoding::kUtf8);
        EXPECT_EQ(r.text, std::string(static_cast<std::size_t>(before), 'a') + kGo + "\tx\r\n");
        EXPECT_EQ(r.tabs, 1);
    }
}

TEST(Utf8, WidthTable) {
    const struct {
        unsigned cp;
        int width;
    } cases[] = {
        {0x41, 1},    {0xe9, 1},    {0x0301, 0},  {0x3042, 2},  {0x4e00, 2},  {0xff21, 2},
        {0xff71, 1},  {0xfeff, 0},  {0x200b, 0},  {0x1f600, 2}, {0x20000, 2}, {0x3099, 0},
        {0xe0001, 0}, {0x10ffff, 1},
    };
    for (const auto& c : cases) EXPECT_EQ(ravolin::display_width(c.cp), c.width) << std::hex << c.cp;
}

Encoding classify(const std::vector<std::string>& blocks) {
    ravolin::Utf8Classifier c;
    for (const std::string& b : blocks) c.feed(reinterpret_cast<const unsigned char*>(b.data()), b.size());
    return c.result();
}

TEST(Utf8Classifier, TellsTheEncoding) {
    const struct {
        const char* name;
        std::vector<std::string> blocks;
        Encoding want;
    } cases[] = {
        {"empty", {}, Encoding::kCp932},
        {"ASCII", {"int x;\n"}, Encoding::kCp932},
        {"valid UTF-8", {"// " + kGo + "\nint x;\n"}, Encoding::kUtf8},
        {"byte order mark only", {"\xef\xbb\xbf"}, Encoding::kUtf8},
        {"invalid byte", {"a\xff" + kGo}, Encoding::kCp932},
        {"Shift-JIS text", {"// \x82\xa0\x82\xa2\n"}, Encoding::kCp932},
        {"sequence cut by the end", {"a" + kGo.substr(0, 2)}, Encoding::kCp932},
        {"overlong form", {"\xc0\xaf"}, Encoding::kCp932},
        {"surrogate", {"\xed\xa0\x80"}, Encoding::kCp932},
        {"sequence split across blocks", {"a\xe8", "\xaa", "\x9e b"}, Encoding::kUtf8},
        {"ASCII blocks around it", {std::string(20, 'a'), kGo, std::string(9, 'b')}, Encoding::kUtf8},
    };
    for (const auto& c : cases) EXPECT_EQ(classify(c.blocks), c.want) << c.name;
}

// Standard input through the sniffer, read in chunks as a pipe gives them.
struct Sniffed {
    std::string text;
    Encoding encoding;
};

Sniffed sniff(const std::string& in, std::size_t chunk) {
    ravolin::MemorySource src(in.data(), in.size(), chunk);
    ravolin::StringSink sink;
    auto st = std::make_unique<ravolin::EngineState>();
    auto sniffer = std::make_unique<ravolin::EncodingSniffer>(src, &st->encoding);
    std::unique_ptr<ravolin::TextReader> reader(new ravolin::TextReader(*sniffer));
    std::unique_ptr<ravolin::TextWriter> writer(new ravolin::TextWriter(sink));
    st->in = reader.get();
    st->out = writer.get();
    ravolin::convert_file(*st);
    writer->flush();
    return {sink.out, st->encoding};
}

TEST(EncodingSniffer, DecidesAtTheFirstByteAbove0x7F) {
    const std::string ascii_lines = [] {
        std::string s;
        for (int i = 0; i < 3000; ++i) s += "    int x;\n";  // well past one read
        return s;
    }();
    const struct {
        const char* name;
        std::string in;
        Encoding want;
    } cases[] = {
        {"ASCII only", ascii_lines, Encoding::kCp932},
        {"UTF-8 after a long ASCII start", ascii_lines + "// " + kGo + "\n\"a        b\"\n", Encoding::kUtf8},
        {"Shift-JIS after a long ASCII start", ascii_lines + "// \x82\xa0\n\"a        b\"\n", Encoding::kCp932},
        {"cut sequence at the very end", "    x\n\xe8\xaa", Encoding::kCp932},
    };
    for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{7}}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " chunk=" + std::to_string(chunk));
            Sniffed s = sniff(c.in, chunk);
            EXPECT_EQ(s.encoding, c.want);
            // Every byte read ahead reaches the converter, in order.
            EXPECT_EQ(s.text, convert(c.in, 4, 0, c.want).text);
        }
    }
}

}  // namespace
