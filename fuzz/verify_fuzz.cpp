// libFuzzer target for the conversion check. For any input, in either
// encoding, the real converter's output is checked, and:
//  - whenever the check accepts it, a reference reading of both files finds
//    the same string literals and character constants; the reference works
//    on whole texts, in a compiler's order (splices out first, then the
//    literals cut out), so it shares no state machine with the check;
//  - the original written back unchanged (line ends as CR LF) is accepted;
//  - the answer does not depend on how the reads are cut, also for the
//    output with its runs of blanks laid out anew (inside literals too):
//    small reads keep the check off its sixteen-byte path, so that path is
//    held to the unit-by-unit comparison.
// The first byte picks the encoding (bit 0), the tab size and the read size;
// the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/test_util.h"
#include "verify/verify.h"

namespace {

using ravolin::Encoding;
using ravolin::VerifyResult;

VerifyResult verify(const std::string& was, const std::string& now, Encoding enc, std::size_t chunk) {
    ravolin::MemorySource a(was.data(), was.size(), chunk), b(now.data(), now.size(), chunk);
    return ravolin::verify_conversion(a, b, enc);
}

bool lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool trail(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

// The file as characters: a double-byte character is one string, every
// line end is "\n" (a lone CR "\r"); the original's final Ctrl-Z is gone.
std::vector<std::string> characters(const std::string& raw, Encoding enc, bool original) {
    std::string s = raw;
    if (original && !s.empty() && s.back() == '\x1a') s.pop_back();
    std::vector<std::string> out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        const bool has_next = i + 1 < s.size();
        if (b == '\r' && has_next && s[i + 1] == '\n') {
            out.push_back("\n");
            ++i;
        } else if (enc == Encoding::kCp932 && lead(b) && has_next && trail(static_cast<unsigned char>(s[i + 1]))) {
            out.push_back(s.substr(i, 2));
            ++i;
        } else {
            out.push_back(std::string(1, s[i]));
        }
    }
    return out;
}

bool is_line_end(const std::string& c) { return c == "\n" || c == "\r"; }

bool is_word(const std::string& c) {
    const unsigned char b = static_cast<unsigned char>(c[0]);
    return c.size() == 2 || b >= 0x80 || b == '_' || b == '$' || (b >= '0' && b <= '9') || ((b | 0x20) >= 'a' && (b | 0x20) <= 'z');
}

bool is_digit(const std::string& c) { return c.size() == 1 && c[0] >= '0' && c[0] <= '9'; }

// Whether c goes on a number that prev ended: word characters, '.', and a
// sign after an exponent's letter.
bool goes_on_number(const std::string& c, const std::string& prev) {
    return is_word(c) || c == "." ||
           ((c == "+" || c == "-") && (prev == "e" || prev == "E" || prev == "p" || prev == "P"));
}

// Every literal of the file, its prefix included, as written after splices
// are taken out.
std::vector<std::string> literals(const std::string& raw, Encoding enc, bool original) {
    std::vector<std::string> chars = characters(raw, enc, original), text;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        if (chars[i] == "\\" && i + 1 < chars.size() && is_line_end(chars[i + 1])) ++i;
        else text.push_back(chars[i]);
    }
    std::vector<std::string> found;
    std::string word, prev;
    bool number = false;  // c would stand inside a number (digit separators)
    std::size_t i = 0;
    while (i < text.size()) {
        const std::string& c = text[i];
        const std::string next = i + 1 < text.size() ? text[i + 1] : "";
        if (c == "'" && number && is_word(next)) {
            prev = c;  // a digit separator: 1'000
            word.clear();
            ++i;
            continue;
        }
        if (c == "/" && next == "*") {
            i += 2;
            while (i < text.size() && !(text[i] == "*" && i + 1 < text.size() && text[i + 1] == "/")) ++i;
            i += 2;
            word.clear();
        } else if (c == "/" && next == "/") {
            while (i < text.size() && !is_line_end(text[i])) ++i;
            word.clear();
        } else if (c == "\"" || c == "'") {
            std::string lit = (word == "L" || word == "u" || word == "U" || word == "u8") ? word : "";
            lit += c;
            for (++i; i < text.size() && !is_line_end(text[i]); ++i) {
                lit += text[i];
                if (text[i] == c) {
                    ++i;
                    break;
                }
                if (text[i] == "\\" && i + 1 < text.size() && !is_line_end(text[i + 1])) lit += text[++i];
            }
            found.push_back(lit);
            word.clear();
        } else {
            word = is_word(c) ? word + c : "";
            number = number ? goes_on_number(c, prev) : is_digit(c) && !(prev.size() && is_word(prev));
            prev = c;
            ++i;
            continue;
        }
        number = false;
        prev.clear();
    }
    return found;
}

// What the converter would write if it changed nothing.
std::string written_unchanged(const std::string& in) {
    std::string s = in;
    if (!s.empty() && s.back() == '\x1a') s.pop_back();
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) out += '\r';
        out += s[i];
    }
    return out;
}

// The text with every run of blanks redone, each as picked by a byte of
// pick: kept, one space, one tab, a tab added after or before it, its tabs
// as spaces.
std::string relaid(const std::string& text, const std::string& pick) {
    std::string out;
    std::size_t runs = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] != ' ' && text[i] != '\t') {
            out += text[i++];
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && (text[end] == ' ' || text[end] == '\t')) ++end;
        std::string run = text.substr(i, end - i);
        switch (pick.empty() ? 0 : pick[runs++ % pick.size()] % 6) {
        case 1: run = " "; break;
        case 2: run = "\t"; break;
        case 3: run += '\t'; break;
        case 4: run = '\t' + run; break;
        case 5:
            for (char& c : run) c = ' ';
            break;
        default: break;
        }
        out += run;
        i = end;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const Encoding enc = data[0] & 1 ? Encoding::kUtf8 : Encoding::kCp932;
    const int tab_size = (data[0] >> 1 & 7) + 1;
    const std::size_t chunk = data[0] >> 4;  // 0: whole reads
    const std::string in(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string out = ravolin::test::convert(in, tab_size, 0, enc).text;

    const VerifyResult r = verify(in, out, enc, 0);
    if (r == VerifyResult::kReadError) std::abort();
    if (chunk != 0 && verify(in, out, enc, chunk) != r) std::abort();
    if (r == VerifyResult::kSame && literals(in, enc, true) != literals(out, enc, false)) std::abort();
    if (verify(in, written_unchanged(in), enc, chunk) != VerifyResult::kSame) std::abort();

    const std::string other = relaid(out, in);
    const VerifyResult ro = verify(in, other, enc, 0);
    if (verify(in, other, enc, 1 + chunk % 3) != ro) std::abort();
    if (ro == VerifyResult::kSame && literals(in, enc, true) != literals(other, enc, false)) std::abort();
    return 0;
}
