#include "cli/progress.h"

#include <cstdio>

#include "cli/terminal.h"

namespace ravolin {
namespace {

constexpr int kFewFiles = 8;
constexpr auto kLongRun = std::chrono::seconds(1);
constexpr auto kRedraw = std::chrono::milliseconds(100);

void put_spaces(std::size_t n) {
    while (n-- > 0) std::fputc(' ', stderr);
}

}  // namespace

Progress::Progress() : enabled_(is_terminal(stderr)) {
    if (enabled_) width_ = terminal_width(stderr);
}

void Progress::show(int index, int count, const std::string& path) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (!started_) {
        started_ = true;
        start_ = now;
    } else if (now - last_ < kRedraw) {
        return;
    }
    if (count <= kFewFiles && now - start_ < kLongRun) return;
    last_ = now;
    char head[48];
    std::snprintf(head, sizeof head, "[%d/%d] ", index + 1, count);
    std::string text = head + path;
    // A wrapped line could not be overwritten; keep clear of the last column
    // and of the middle of a UTF-8 character.
    std::size_t room = width_ > 1 ? static_cast<std::size_t>(width_ - 1) : 1;
    if (text.size() > room) {
        while (room > 0 && (static_cast<unsigned char>(text[room]) & 0xC0) == 0x80) --room;
        text.resize(room);
    }
    std::fputc('\r', stderr);
    write_text(stderr, text.data(), text.size());
    if (shown_len_ > text.size()) put_spaces(shown_len_ - text.size());
    std::fflush(stderr);
    shown_len_ = text.size() > shown_len_ ? text.size() : shown_len_;
}

void Progress::clear() {
    if (shown_len_ == 0) return;
    std::fputc('\r', stderr);
    put_spaces(shown_len_);
    std::fputc('\r', stderr);
    std::fflush(stderr);
    shown_len_ = 0;
}

}  // namespace ravolin
