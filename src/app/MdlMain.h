// The start of the program: the host thread, the one window FrmMain, its load,
// and the event loop that the program then lives in.
#pragma once

namespace vantrel::app {

// Creates FrmMain hidden, loads it (Form_Load), then shows it. A failure while
// creating or showing is passed over; then no window exists.
void Main();

// Dispatches events until the program ends. Returns at once when Main left no
// window.
int RunEventLoop();

// What wWinMain runs: Main, then the event loop.
int Run();

}  // namespace vantrel::app
