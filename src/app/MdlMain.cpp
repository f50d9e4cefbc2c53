#include "app/MdlMain.h"

#include <windows.h>

#include <objbase.h>

#include <memory>

#include "host/com/ComHost.h"
#include "host/com/ComObjects.h"
#include "ui/FrmMain.h"
#include "ui/win32/FrmMainWindow.h"

namespace vantrel::app {
namespace {

// COM on the UI thread, an STA, for as long as the program runs: the host's
// objects are apartment-threaded. If it cannot start, registering the
// busy-host filter fails in Main, which passes that over: no window is made
// and the program ends at once, without a message.
class ComApartment {
public:
    ComApartment() noexcept : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result_;
};

// The process-wide FrmMain: created on first use (start-up) and never
// destroyed; the end of the program exits the process around it. The
// busy-host filter is registered before the first host call and follows the
// busy policy of the locator's calls.
struct Program {
    std::shared_ptr<host::com::ComSession> session = std::make_shared<host::com::ComSession>();
    host::com::BusyHostRetry busyRetry{session};
    std::unique_ptr<host::HostLocator> locator = host::com::CreateComHostLocator(session);
    ui::win32::FrmMainWindow window;
    std::unique_ptr<ui::FrmMain> form;
};

Program* g_frmMain = nullptr;

// The end of the program, from every route (Exit, Ok, the frame, a failed
// attach): Timer1 stops, the host references are released, the process
// exits. Nothing of the program runs after it.
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
        program->form = std::make_unique<ui::FrmMain>(program->window, *program->locator);
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
    const ComApartment com;
    Main();
    return RunEventLoop();
}

}  // namespace vantrel::app
