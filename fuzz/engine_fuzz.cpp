// libFuzzer target for the conversion engine. Beyond "no crash", it checks
// what must hold for any input:
//  - every byte other than space and tab comes out unchanged and in order,
//    with only the counted dots added;
//  - when no line is as long as a piece, a second conversion changes nothing.
// The first input byte picks the tab size; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/engine.h"
#include "tests/test_util.h"

namespace {

using ravolin::test::convert;

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    int tab_size = data[0] % 40 + 1;
    std::string in(reinterpret_cast<const char*>(data + 1), size - 1);
    auto r = convert(in, tab_size, 0);

    // The same result whatever size the reads come in.
    auto small = convert(in, tab_size, (data[0] >> 6) + 1);
    if (small.text != r.text || small.tabs != r.tabs || small.dots != r.dots) std::abort();

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
        auto again = convert(r.text, tab_size, 0);
        if (again.text != r.text || again.dots != 0) std::abort();
    }
    return 0;
}
