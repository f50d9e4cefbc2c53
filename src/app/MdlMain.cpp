#include "app/MdlMain.h"

#include <windows.h>

#include <objbase.h>

#include <memory>

#include "app/HostLink.h"
#include "ui/FrmMain.h"
#include "ui/win32/FrmMainWindow.h"

namespace vantrel::app {
namespace {

// The process-wide FrmMain: created on first use (start-up) and never
// destroyed; the end of the program exits the process around it.
struct Program {
    std::unique_ptr<HostLink> host;
    ui::win32::FrmMainWindow window;
    std::unique_ptr<ui::FrmMain> form;
};

Program* g_frmMain = nullptr;

}  // namespace

void Main() {
    try {
        auto program = std::make_unique<Program>();
        program->host = CreateHostLink();
        program->window.Create(GetModuleHandleW(nullptr));
        program->form = std::make_unique<ui::FrmMain>(program->window, program->host->Locator());
        program->window.Attach(program->form.get());
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
    // The host's objects are apartment-threaded; the UI thread is their STA.
    // A failure here shows up as an unreachable host at the load.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    (void)com;
    Main();
    return RunEventLoop();
}

}  // namespace vantrel::app
