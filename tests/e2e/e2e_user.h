// What a user sees of vantrel.exe and does with it, done from outside its
// process as a user would: find the window, read the list, click buttons,
// option buttons and the check box, select and double-click rows, read and
// close message boxes, read the windows' opacity.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "e2e_harness.h"

namespace vantrel::e2e {

struct MessageBoxSeen {
    HWND window = nullptr;
    std::string title;
    std::string text;
};

class VantrelWindow {
public:
    // The visible top-level window "Standard Scales" of the process, once it shows.
    static std::optional<VantrelWindow> WaitFor(DWORD processId, Milliseconds timeout = kStartDeadline);
    // Whether the process has any visible window "Standard Scales" now.
    static bool Shown(DWORD processId);

    [[nodiscard]] HWND Handle() const noexcept { return window_; }
    [[nodiscard]] HWND List() const noexcept { return list_; }

    [[nodiscard]] std::vector<std::string> Headers() const;
    [[nodiscard]] std::vector<std::vector<std::string>> Rows() const;
    // Polls until the list holds `count` rows.
    bool WaitForRowCount(std::size_t count, Milliseconds timeout = kActionDeadline) const;

    // Buttons, option buttons and the check box, by caption.
    [[nodiscard]] bool IsChecked(const std::wstring& caption) const;
    // Posted, so a handler that opens a modal box does not hold the test.
    void Click(const std::wstring& caption) const;
    void SelectRow(int row) const;       // 0-based
    void DoubleClickRow(int row) const;  // selects it, then the double-click

    // The opacity of a window: 255 when it is not layered.
    [[nodiscard]] static std::optional<BYTE> Alpha(HWND window);

private:
    VantrelWindow(HWND window, HWND list) : window_(window), list_(list) {}

    HWND window_;
    HWND list_;
};

// A message box of the process (dialog class "#32770"), once one shows.
std::optional<MessageBoxSeen> WaitForMessageBox(DWORD processId, Milliseconds timeout = kActionDeadline);
// Whether the process shows a message box now.
bool MessageBoxShown(DWORD processId);
// Presses its OK button.
void PressOk(const MessageBoxSeen& box);
// Presses its button `id` (IDRETRY, IDCANCEL, ...).
void Press(const MessageBoxSeen& box, int id);

}  // namespace vantrel::e2e

namespace vantrel::e2e {

// simcad serving a scenario and vantrel.exe started against it, its window found.
struct Session {
    explicit Session(std::string_view scenario) : host(scenario) {
        if (!host.Ready()) return;
        app.emplace();
        window = VantrelWindow::WaitFor(app->Process().Id());
    }
    [[nodiscard]] DWORD Pid() { return app->Process().Id(); }
    [[nodiscard]] bool Up() const { return host.Ready() && window.has_value(); }

    Simcad host;  // declared first: it outlives vantrel, which is ended first
    std::optional<Vantrel> app;
    std::optional<VantrelWindow> window;
};

// A number of a journal line's arguments, "0.02" of "ZoomScaled(0.02, 2) -> ok".
std::vector<double> Arguments(const std::string& call);

// The sample sheet of the demo.
std::string SampleSheet();

}  // namespace vantrel::e2e
