#include "engine/line_merge.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace ravolin {
namespace {

void add_count(int& count, long long n) {
    const long long sum = count + n;
    count = sum > INT_MAX ? INT_MAX : static_cast<int>(sum);
}

// The next CR or LF in [p, end), or end.
const unsigned char* line_end_at(const unsigned char* p, const unsigned char* end) {
    while (p < end && *p != '\r' && *p != '\n') ++p;
    return p;
}

}  // namespace

void settle_ranges(LineRanges& ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const LineRange& a, const LineRange& b) { return a.first < b.first; });
    LineRanges joined;
    for (const LineRange& r : ranges) {
        if (!joined.empty() && r.first <= joined.back().last + 1) {
            joined.back().last = std::max(joined.back().last, r.last);
        } else {
            joined.push_back(r);
        }
    }
    ranges.swap(joined);
}

bool parse_line_range(const char* text, LineRange* range) {
    long long n[2] = {0, 0};
    int k = 0;
    const char* p = text;
    for (;;) {
        if (*p < '0' || *p > '9') return false;
        for (; *p >= '0' && *p <= '9'; ++p) {
            n[k] = n[k] * 10 + (*p - '0');
            if (n[k] > (1LL << 53)) return false;
        }
        if (*p == '\0') break;
        if (*p != '-' || k == 1) return false;
        ++k;
        ++p;
    }
    if (k == 0) n[1] = n[0];
    if (n[0] < 1 || n[1] < n[0]) return false;
    range->first = n[0];
    range->last = n[1];
    return true;
}

void LineMerge::LineSum::add(const unsigned char* p, std::size_t n) {
    bytes += static_cast<long long>(n);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = p[i];
        if (c == '\t') ++tabs;
        else if (c != ' ') ++text;
        hash = (hash ^ c) * 1099511628211ull;
    }
}

LineMerge::LineMerge(ByteSource& original, ByteSink& out, const LineRanges& lines, bool spaces)
    : original_(&original), out_(&out), lines_(&lines), spaces_(spaces), in_(kBlock), out_buf_(kBlock) {
    selected_ = in_ranges(line_);
}

bool LineMerge::in_ranges(long long line) {
    while (range_ < lines_->size() && (*lines_)[range_].last < line) ++range_;
    return range_ < lines_->size() && (*lines_)[range_].first <= line;
}

bool LineMerge::write(const unsigned char* p, std::size_t n) {
    const unsigned char* end = p + n;
    while (p < end) {
        if (held_cr_) {
            // CR LF is one line end; a CR before anything else ends a line
            // of its own.
            held_cr_ = false;
            if (*p == '\n') ++p;
            end_line();
            continue;
        }
        const unsigned char* stop = line_end_at(p, end);
        if (stop > p) {
            any_ = true;
            if (selected_) {
                put(p, static_cast<std::size_t>(stop - p));
                converted_.add(p, static_cast<std::size_t>(stop - p));
            }
            p = stop;
        }
        if (p == end) break;
        if (*p++ == '\r') {
            held_cr_ = true;
        } else {
            end_line();
        }
    }
    return !error_;
}

// The converted text has reached the end of the current line: the
// original's line goes along with it.
void LineMerge::end_line() {
    original_line(!selected_);
    ++line_;
    selected_ = in_ranges(line_);
    converted_ = LineSum();
    any_ = false;
}

// Reads the original's current line up to and including its line end,
// writing its text when copy and its line end always. Keeps the counts of a
// line taken from the conversion.
bool LineMerge::original_line(bool copy) {
    LineSum was;
    bool cr = false;  // a CR was read: an LF may follow it
    for (;;) {
        if (pos_ == lim_ && !fill()) {
            if (cr) put(reinterpret_cast<const unsigned char*>("\r"), 1);
            break;
        }
        const unsigned char* p = in_.data() + pos_;
        const unsigned char* end = in_.data() + lim_;
        if (cr) {
            if (*p == '\n') {
                put(reinterpret_cast<const unsigned char*>("\r\n"), 2);
                ++pos_;
            } else {
                put(reinterpret_cast<const unsigned char*>("\r"), 1);
            }
            break;
        }
        const unsigned char* stop = line_end_at(p, end);
        const std::size_t n = static_cast<std::size_t>(stop - p);
        if (copy) put(p, n);
        else was.add(p, n);
        pos_ += n;
        if (stop == end) continue;
        ++pos_;
        if (*stop == '\n') {
            put(stop, 1);
            break;
        }
        cr = true;
    }
    if (!copy && (was.bytes != converted_.bytes || was.hash != converted_.hash)) {
        // The check before a file is replaced makes sure nothing but blanks
        // and a dot differ, so the sums tell what changed.
        const long long more = converted_.tabs - was.tabs;
        const bool dot = converted_.text == was.text + 1;
        if (more > 0) add_count(tabs_, more);
        if (more < 0) add_count(expanded_, -more);
        if (dot) add_count(dots_, 1);
        // Blanks changed without a tab more or fewer (spaces before a tab
        // dropped): counted as a run counts it.
        if (more == 0 && !dot) add_count(spaces_ ? expanded_ : tabs_, 1);
    }
    return !error_;
}

bool LineMerge::original_more() { return pos_ < lim_ || fill(); }

bool LineMerge::fill() {
    if (done_) return false;
    const long n = original_->read(in_.data(), kBlock);
    if (n <= 0) {
        if (n < 0) error_ = true;
        done_ = true;
        return false;
    }
    pos_ = 0;
    lim_ = static_cast<std::size_t>(n);
    return true;
}

bool LineMerge::finish() {
    if (held_cr_) {
        held_cr_ = false;
        end_line();
    }
    // The converted text's last line, and any the conversion did not keep
    // (an end-of-text mark after the last line end): taken from the
    // original unless asked for.
    if (any_ || original_more()) end_line();
    while (original_more()) end_line();
    return flush() && !error_;
}

void LineMerge::put(const unsigned char* p, std::size_t n) {
    while (n > 0) {
        if (out_len_ == out_buf_.size() && !flush()) return;
        const std::size_t k = std::min(n, out_buf_.size() - out_len_);
        std::memcpy(out_buf_.data() + out_len_, p, k);
        out_len_ += k;
        p += k;
        n -= k;
    }
}

bool LineMerge::flush() {
    if (out_len_ > 0 && !error_ && !out_->write(out_buf_.data(), out_len_)) error_ = true;
    out_len_ = 0;
    return !error_;
}

}  // namespace ravolin
