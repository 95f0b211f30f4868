// The button commands of the main window and its idle and running states.
#pragma once
#include <windows.h>
#include <shellapi.h>

namespace ravolin {

// What the commands need of the conversion worker. The application owns the
// worker; the commands only start it and stop it.
class RunControl {
public:
    // Starts a run on its own thread; false when the thread could not start.
    virtual bool start_run(HWND main) = 0;
    // True from a successful start until the window thread has taken the
    // run's end (or an Abort has stopped it).
    virtual bool run_under_way() const = 0;
    // Asks the run to stop and waits for its thread to end. The worker
    // checks between pieces and does not wait for the disk once asked, so
    // this returns promptly; nothing is killed, so no file is left half
    // written and no lock left held. True when the run was cut short; false
    // when it had ended by itself first (its report is in the result slot).
    virtual bool stop_run() = 0;

protected:
    ~RunControl() = default;
};

// The result box shows the result text of the run that ended.
void show_run_report();

// Input Files, tab size box, Execute and Exit disabled; Abort enabled.
void enter_running_state();
// Input Files, tab size box, Execute and Exit enabled; Abort disabled.
void enter_idle_state();

// WM_DROPFILES of the main window: the dropped items become the file pattern
// (not during a run) as a name chosen in the Input Files dialog does. Ends
// the drop.
void drop_files(HWND main, HDROP drop, RunControl& runs);

// WM_COMMAND of the main window (wparam: identifier low, notification high).
// Returns 0.
LRESULT handle_command(HWND main, WPARAM wparam, RunControl& runs);

}  // namespace ravolin
