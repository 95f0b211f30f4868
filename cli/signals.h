// Interruptions: Ctrl-C, SIGTERM, SIGHUP and SIGQUIT (on Windows Ctrl-C,
// Ctrl-Break and closing the console) cancel the run like the window's
// Abort: the file under way is left as it was, the report so far stands and
// the exit status says which signal came. The same signal a second time
// ends the program at once.
#pragma once
#include <atomic>

namespace ravolin {

// Starts listening; the flag is set when an interruption comes. A closed
// pipe on standard output no longer kills the program (its writes fail).
const std::atomic<bool>& catch_interrupts();

// 128 + the number of the signal that came (Windows: 130 for Ctrl-C and
// Ctrl-Break, 129 for closing the console), or 0.
int interrupt_status();

// The program is about to end: a console that is being closed may go now.
void interrupts_done();

}  // namespace ravolin
