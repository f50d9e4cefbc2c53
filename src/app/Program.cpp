#include "app/Program.h"

#include <windows.h>

#include <memory>

#include "host/HostLink.h"
#include "host/com/ComHostLocator.h"
#include "host/com/ComHostThread.h"
#include "ui/FrmMain.h"
#include "ui/win32/FrmMainWindow.h"

namespace vantrel::app {
namespace {

// Everything the program is, made once at the start and never destroyed: the
// end of the program exits the process around it. The window's thread makes
// no host call: the host thread, with a COM apartment of its own, makes them
// all. It comes first, so that its apartment starts while the window is made.
struct Program {
    host::com::ComHostThread hostThread;
    std::unique_ptr<host::HostLocator> locator =
        host::com::CreateComHostLocator(std::make_shared<host::com::ComSession>());
    host::HostLink link{*locator, hostThread};
    ui::win32::FrmMainWindow window;
    std::unique_ptr<ui::FrmMain> form;
};

// Makes the window hidden, loads it (which ends the program when the host is
// missing), then shows it. A failure while making or showing the window is
// passed over without a message: then no window exists and Run ends at once.
HWND Start() {
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
        Program* const started = program.release();
        started->window.Raise(ui::Event::Load);
        started->window.Show();
        return started->window.Handle();
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

int Run() {
    const HWND window = Start();
    if (window == nullptr) return 0;
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab and the arrow keys move among the controls as in a dialog.
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace vantrel::app
