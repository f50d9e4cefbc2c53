#include "app/MdlMain.h"

#include <windows.h>

#include <memory>

#include "host/HostLink.h"
#include "host/com/ComHostLocator.h"
#include "host/com/ComHostThread.h"
#include "ui/FrmMain.h"
#include "ui/win32/FrmMainWindow.h"

namespace vantrel::app {
namespace {

// The process-wide FrmMain: created on first use (start-up) and never
// destroyed; the end of the program exits the process around it. The window's
// thread makes no host call: the host thread, with a COM apartment of its
// own, makes them all. If that thread cannot start, Main passes the failure
// over: no window is made and the program ends at once, without a message.
// The host thread comes first, so that its apartment starts while the window
// is being made.
struct Program {
    host::com::ComHostThread hostThread;
    std::unique_ptr<host::HostLocator> locator =
        host::com::CreateComHostLocator(std::make_shared<host::com::ComSession>());
    host::HostLink link{*locator, hostThread};
    ui::win32::FrmMainWindow window;
    std::unique_ptr<ui::FrmMain> form;
};

Program* g_frmMain = nullptr;

// The end of the program, from every route (Exit, Ok, the frame, a failed
// attach): Timer1 stops, the host references are released, the process
// exits. Nothing of the program runs after it; a host thread held by a call
// that gets no answer ends with the process.
[[noreturn]] void EndProgram() {
    g_frmMain->window.StopTimer();
    g_frmMain->form->ReleaseHost();
    ExitProcess(0);
}

}  // namespace

void Main() {
    try {
        auto program = std::make_unique<Program>();
        program->window.Create(GetModuleHandleW(nullptr));
        ui::win32::FrmMainWindow* const window = &program->window;
        program->hostThread.AnswerTo(window->Handle(), ui::win32::kHostAnswerMessage);
        program->hostThread.SetWaitingWindow(
            [window](const MSG& message) { return window->AdmitsWhileWaiting(message); },
            [window](bool inFlight) { window->ShowActionInFlight(inFlight); });
        program->form = std::make_unique<ui::FrmMain>(program->window, program->link);
        program->window.Attach(program->form.get());
        program->window.SetEndAction(EndProgram);
        g_frmMain = program.release();
        // Showing loads first: Form_Load runs to its end while the window is
        // still hidden, and ends the program here when the host is missing.
        g_frmMain->window.Raise(ui::Event::Load);
        g_frmMain->window.Show();
    } catch (...) {
        // Passed over without a message; the event loop finds no window.
    }
}

int RunEventLoop() {
    if (!g_frmMain || !g_frmMain->window.Handle()) return 0;
    const HWND window = g_frmMain->window.Handle();
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab and the arrow keys move among the controls as in a dialog.
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

int Run() {
    Main();
    return RunEventLoop();
}

}  // namespace vantrel::app
