// One self-overwriting line on standard error while files are handled
// ("[120/2000] src/lib/a.c"), only when standard error is a terminal and the
// run has more than a few files or has gone on for a second. Redrawn at most
// ten times a second, so it costs nothing on fast runs.
#pragma once
#include <chrono>
#include <string>

namespace ravolin {

class Progress {
public:
    Progress();
    // File index (from 0) of count, at path, is about to be handled.
    void show(int index, int count, const std::string& path);
    // Takes the line away (before other output, and at the end).
    void clear();

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    bool started_ = false;
    Clock::time_point start_, last_;
    std::size_t shown_len_ = 0;  // columns now on the line
    int width_ = 80;
};

}  // namespace ravolin
