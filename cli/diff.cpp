#include "cli/diff.h"

#include <cstdio>
#include <string_view>
#include <vector>

namespace ravolin {
namespace {

constexpr std::size_t kContext = 3;

std::vector<std::string_view> split_lines(const std::string& text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t lf = text.find('\n', start);
        std::size_t end = lf == std::string::npos ? text.size() : lf + 1;
        lines.emplace_back(text.data() + start, end - start);
        start = end;
    }
    return lines;
}

// A name with blanks, quotes, backslashes or control characters goes in
// C-style quotes, which both patch and git apply read.
std::string header_name(const std::string& path) {
    bool plain = true;
    for (unsigned char ch : path) {
        if (ch <= ' ' || ch == '"' || ch == '\\' || ch == 0x7F) plain = false;
    }
    if (plain) return path;
    std::string q = "\"";
    for (unsigned char ch : path) {
        if (ch == '"' || ch == '\\') {
            q += '\\';
            q += static_cast<char>(ch);
        } else if (ch == '\t') {
            q += "\\t";
        } else if (ch == '\n') {
            q += "\\n";
        } else if (ch < ' ' || ch == 0x7F) {
            char oct[8];
            std::snprintf(oct, sizeof oct, "\\%03o", ch);
            q += oct;
        } else {
            q += static_cast<char>(ch);
        }
    }
    return q + "\"";
}

class HunkWriter {
public:
    HunkWriter(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b, std::string& out)
        : a_(a), b_(b), out_(out) {}

    bool same(std::size_t i) const { return i < a_.size() && i < b_.size() && a_[i] == b_[i]; }

    // Lines [from, to) by position.
    void write(std::size_t from, std::size_t to) {
        const std::size_t a_end = to < a_.size() ? to : a_.size();
        const std::size_t b_end = to < b_.size() ? to : b_.size();
        const std::size_t a_count = a_end > from ? a_end - from : 0;
        const std::size_t b_count = b_end > from ? b_end - from : 0;
        // An empty side names the line before it.
        char head[96];
        std::snprintf(head, sizeof head, "@@ -%zu,%zu +%zu,%zu @@\n", a_count ? from + 1 : from, a_count,
                      b_count ? from + 1 : from, b_count);
        out_ += head;
        std::size_t i = from;
        while (i < to) {
            if (same(i)) {
                put(' ', a_[i++]);
                continue;
            }
            std::size_t run_end = i;
            while (run_end < to && !same(run_end)) ++run_end;
            for (std::size_t k = i; k < run_end && k < a_.size(); ++k) put('-', a_[k]);
            for (std::size_t k = i; k < run_end && k < b_.size(); ++k) put('+', b_[k]);
            i = run_end;
        }
    }

private:
    void put(char mark, std::string_view line) {
        out_ += mark;
        out_.append(line.data(), line.size());
        if (line.empty() || line.back() != '\n') out_ += "\n\\ No newline at end of file\n";
    }

    const std::vector<std::string_view>& a_;
    const std::vector<std::string_view>& b_;
    std::string& out_;
};

}  // namespace

void append_unified_diff(const std::string& path, const std::string& before, const std::string& after,
                         std::string& out) {
    if (before == after) return;
    const std::vector<std::string_view> a = split_lines(before), b = split_lines(after);
    const std::size_t n = a.size() > b.size() ? a.size() : b.size();
    HunkWriter hunks(a, b, out);
    const std::string name = header_name(path);
    out += "--- " + name + "\n+++ " + name + "\n";
    std::size_t i = 0;
    while (i < n) {
        while (i < n && hunks.same(i)) ++i;
        if (i == n) break;
        // A hunk runs on while the next difference is close enough that the
        // context of the two would touch.
        std::size_t last = i;
        for (std::size_t k = i + 1; k < n && k - last <= 2 * kContext; ++k) {
            if (!hunks.same(k)) last = k;
        }
        const std::size_t from = i > kContext ? i - kContext : 0;
        const std::size_t to = last + 1 + kContext < n ? last + 1 + kContext : n;
        hunks.write(from, to);
        i = to;
    }
}

}  // namespace ravolin
