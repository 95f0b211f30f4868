// libFuzzer target for the conversion check. For any input, in either
// encoding, the real converter's output is checked, and:
//  - whenever the check accepts it, a reference reading of both files finds
//    the same string literals and character constants; the reference works
//    on whole texts, in a compiler's order (splices out first, then the
//    literals cut out), so it shares no state machine with the check;
//  - the original written back unchanged (line ends as CR LF) is accepted;
//  - the answer does not depend on how the reads are cut, also for the
//    output with its runs of blanks laid out anew (inside literals too):
//    small reads keep the check off its windows, so they are held to the
//    unit-by-unit comparison; and every path of the windows (every scan
//    path, AVX2 and AVX-512 with and without squeezed windows) answers
//    alike.
// The first byte picks the encoding (bit 0), the tab size and the read size;
// the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/test_util.h"
#include "verify/fast_lane.h"
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

bool is_blank(const std::string& c) { return c == " " || c == "\t"; }

// Whether c may stand in a raw literal's delimiter.
bool delimiter_char(const std::string& c) {
    return c.size() == 1 && static_cast<unsigned char>(c[0]) > ' ' && c != ")" && c != "\\" && c != "\"";
}

// The characters as a compiler reads them: ??/ is a backslash, and a
// backslash before a line end vanishes with it; neither inside a raw
// literal, where every character stands as written.
class Text {
public:
    explicit Text(std::vector<std::string> chars) : c_(std::move(chars)) { settle(); }
    bool done() const { return i_ >= c_.size(); }
    const std::string& cur() const { return cur_; }
    // The character after cur, read the same way.
    std::string next() {
        const std::size_t i = i_, len = len_;
        const std::string cur = cur_;
        advance();
        std::string n = cur_;
        i_ = i;
        len_ = len;
        cur_ = cur;
        return n;
    }
    void advance() {
        i_ += len_;
        settle();
    }
    void set_raw(bool raw) {
        raw_ = raw;
        settle();
    }

private:
    // The character at i_ and its length in c_, splices passed over.
    void settle() {
        for (;;) {
            if (done()) {
                cur_.clear();
                len_ = 0;
                return;
            }
            len_ = 1;
            cur_ = c_[i_];
            if (raw_) return;
            if (cur_ == "?" && at(i_ + 1) == "?" && at(i_ + 2) == "/") {
                cur_ = "\\";
                len_ = 3;
            }
            if (cur_ != "\\" || !is_line_end(at(i_ + len_))) return;
            i_ += len_ + 1;
        }
    }
    std::string at(std::size_t k) const { return k < c_.size() ? c_[k] : ""; }

    std::vector<std::string> c_;
    std::size_t i_ = 0, len_ = 0;
    std::string cur_;
    bool raw_ = false;
};

// A plain literal's rest, after its opening: to its closing quote or its
// line's end.
std::string literal_rest(Text& t, const std::string& quote, std::string lit) {
    for (; !t.done() && !is_line_end(t.cur()); t.advance()) {
        lit += t.cur();
        if (t.cur() == quote) {
            t.advance();
            break;
        }
        if (t.cur() == "\\" && !t.next().empty() && !is_line_end(t.next())) {
            t.advance();
            lit += t.cur();
        }
    }
    return lit;
}

// A raw literal from its opening quote: to its closing quote, line ends
// included; where the delimiter is none, a plain literal from there.
std::string raw_literal(Text& t, std::string lit) {
    std::string delim;
    for (t.advance(); !t.done() && t.cur() != "("; t.advance()) {
        lit += t.cur();
        if (is_line_end(t.cur())) return lit;
        if (!delimiter_char(t.cur()) || delim.size() == 16) {
            t.advance();
            return literal_rest(t, "\"", lit);
        }
        delim += t.cur();
    }
    const std::string end = ")" + delim + "\"";
    t.set_raw(true);
    for (; !t.done(); t.advance()) {
        lit += t.cur();
        if (lit.size() >= end.size() && lit.compare(lit.size() - end.size(), end.size(), end) == 0) {
            t.advance();
            break;
        }
    }
    t.set_raw(false);
    return lit;
}

// Every literal of the file, its prefix included, as a compiler reads it:
// string literals, character constants, raw literals and an include's
// header name.
std::vector<std::string> literals(const std::string& raw, Encoding enc, bool original) {
    Text t(characters(raw, enc, original));
    std::vector<std::string> found;
    std::string word, prev;
    bool number = false;  // c would stand inside a number (digit separators)
    // Where a line stands on its way to a header name: 0 none, 1 only
    // blanks so far, 2 after '#', 3 in the name, 4 after include.
    int directive = 1;
    std::string name;
    while (!t.done()) {
        const std::string c = t.cur();
        const std::string next = t.next();
        if (is_line_end(c)) {
            directive = 1;
        } else if (directive == 1 || directive == 2) {
            if (c == "#" && directive == 1) {
                directive = 2;
            } else if (is_word(c) && directive == 2) {
                directive = 3;
                name.clear();
            } else if (!is_blank(c)) {
                directive = 0;
            }
        }
        if (directive == 3) {
            if (is_word(c)) name += c;
            else directive = name == "include" || name == "include_next" || name == "import" ? 4 : 0;
        }
        if (directive == 4 && !is_blank(c)) {
            directive = 0;
            if (c == "<") {
                std::string lit = c;
                for (t.advance(); !t.done() && !is_line_end(t.cur()); t.advance()) {
                    lit += t.cur();
                    if (t.cur() == ">") {
                        t.advance();
                        break;
                    }
                }
                found.push_back(lit);
                word.clear();
                number = false;
                prev.clear();
                continue;
            }
        }
        if (c == "'" && number && is_word(next)) {
            prev = c;  // a digit separator: 1'000
            word.clear();
            t.advance();
            continue;
        }
        if (c == "/" && next == "*") {
            t.advance();
            t.advance();
            while (!t.done() && !(t.cur() == "*" && t.next() == "/")) {
                if (is_line_end(t.cur())) directive = 1;
                t.advance();
            }
            t.advance();
            t.advance();
            word.clear();
        } else if (c == "/" && next == "/") {
            while (!t.done() && !is_line_end(t.cur())) t.advance();
            word.clear();
        } else if (c == "\"" && (word == "R" || word == "LR" || word == "uR" || word == "UR" || word == "u8R")) {
            found.push_back(raw_literal(t, word + c));
            word.clear();
        } else if (c == "\"" || c == "'") {
            std::string lit = (word == "L" || word == "u" || word == "U" || word == "u8") ? word : "";
            t.advance();
            found.push_back(literal_rest(t, c, lit + c));
            word.clear();
        } else {
            word = is_word(c) ? word + c : "";
            number = number ? goes_on_number(c, prev) : is_digit(c) && !(prev.size() && is_word(prev));
            prev = c;
            t.advance();
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

    // Every path of the check's windows gives the same answers.
    const ravolin::ScanPath was = ravolin::scan_path_in_use();
    for (int k = 0; k < 6; ++k) {
        // The last two: AVX-512 and AVX2 without squeezed windows.
        if (!ravolin::use_scan_path(static_cast<ravolin::ScanPath>(k < 4 ? k : 7 - k))) continue;
        ravolin::allow_squeeze(k < 4);
        if (verify(in, out, enc, 0) != r || verify(in, other, enc, 0) != ro) std::abort();
    }
    ravolin::allow_squeeze(true);
    ravolin::use_scan_path(was);
    return 0;
}
