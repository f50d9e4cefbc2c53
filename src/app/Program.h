// The start of the program: the host thread, the one window, its load, and
// the event loop that the program then lives in. The program ends inside an
// event, through FrmMain (every route passes there), never by leaving the loop.
#pragma once

namespace vantrel::app {

// Starts the program and runs its event loop.
int Run();

}  // namespace vantrel::app
