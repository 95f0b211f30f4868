// libFuzzer target for the conversion engine. Beyond "no crash", it checks
// what must hold for any input, in either encoding:
//  - every byte other than space and tab comes out unchanged and in order,
//    with only the counted dots added (none in UTF-8);
//  - when no line is as long as a piece, a second conversion changes nothing;
//  - the result is the same whatever size the reads come in, copied or lent;
//  - every scanner the machine has (byte at a time, SSE2, AVX2, AVX-512) gives
//    the same bytes and counts, with CR LF kept for the converter or
//    translated by the reader;
//  - built with RAVOLIN_SCALAR_SCAN: the same as the byte-at-a-time scanner
//    over a reader that translates CR LF, the way the converter first worked;
//  - the encoding check says the same whether fed at once or in pieces.
// The first input byte picks the tab size, the second the encoding and the
// read size; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/encoding.h"
#include "engine/engine.h"
#include "tests/test_util.h"

namespace {

using ravolin::Encoding;
using ravolin::LineEnds;
using ravolin::test::convert;
using ravolin::test::Converted;

// What a text stream reads: CR LF as LF, nothing from the first Ctrl-Z on.
std::string read_text(const std::string& raw) {
    std::string t;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        char ch = raw[i];
        if (ch == '\x1a') break;
        if (ch == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        t += ch;
    }
    return t;
}

std::string without_blanks(const std::string& s) {
    std::string r;
    for (char ch : s)
        if (ch != ' ' && ch != '\t') r += ch;
    return r;
}

std::size_t longest_line(const std::string& s) {
    std::size_t best = 0, cur = 0;
    for (char ch : s) {
        cur = ch == '\n' ? 0 : cur + 1;
        if (cur > best) best = cur;
    }
    return best;
}

bool same(const Converted& a, const Converted& b) {
    return a.text == b.text && a.tabs == b.tabs && a.dots == b.dots;
}

void check_classifier(const std::string& in, std::size_t step) {
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    ravolin::Utf8Classifier whole, split;
    whole.feed(p, in.size());
    for (std::size_t i = 0; i < in.size(); i += step) split.feed(p + i, in.size() - i < step ? in.size() - i : step);
    if (whole.result() != split.result() || whole.settled() != split.settled()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int tab_size = data[0] % 40 + 1;
    const Encoding encoding = data[1] & 1 ? Encoding::kUtf8 : Encoding::kCp932;
    const std::size_t chunk = (data[1] >> 1) % 7 + 1;
    std::string in(reinterpret_cast<const char*>(data + 2), size - 2);
    auto r = convert(in, tab_size, 0, encoding);

    if (!same(convert(in, tab_size, chunk, encoding), r)) std::abort();
    if (!same(ravolin::test::convert_lent(in, tab_size, chunk, encoding), r)) std::abort();
    if (!same(ravolin::test::convert_lent(in, tab_size, 0, encoding), r)) std::abort();
    ravolin::test::for_each_scan_path([&] {
        for (const LineEnds ends : {LineEnds::kKept, LineEnds::kTranslated}) {
            if (!same(convert(in, tab_size, 0, encoding, ravolin::convert_file, ends), r)) std::abort();
        }
    });
#ifdef RAVOLIN_SCALAR_SCAN
    const auto reference = convert(in, tab_size, 0, encoding, ravolin::convert_file_scalar, LineEnds::kTranslated);
    if (!same(reference, r)) std::abort();
#endif
    if (encoding == Encoding::kUtf8 && r.dots != 0) std::abort();

    std::string want = without_blanks(read_text(in));
    std::string got = without_blanks(read_text(r.text));
    std::size_t i = 0, j = 0;
    int dots = 0;
    while (i < got.size()) {
        if (j < want.size() && got[i] == want[j]) {
            ++i;
            ++j;
        } else if (got[i] == '.') {
            ++dots;
            ++i;
        } else {
            std::abort();  // a byte changed, appeared or moved
        }
    }
    if (j != want.size() || dots != r.dots) std::abort();

    std::string text = read_text(in);
    if (longest_line(text) < static_cast<std::size_t>(ravolin::kMaxPiece) &&
        longest_line(read_text(r.text)) < static_cast<std::size_t>(ravolin::kMaxPiece)) {
        auto again = convert(r.text, tab_size, 0, encoding);
        if (again.text != r.text || again.dots != 0) std::abort();
    }

    check_classifier(in, chunk);
    return 0;
}
