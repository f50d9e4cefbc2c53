// Drives Vantrel's window from another process, as a user would: finds its
// windows, reads the list and message boxes, clicks, double-clicks and reads
// translucency. Lists are read through buffers placed in the target process.
// Every wait polls against a deadline; nothing sleeps a fixed time.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::e2e::driver {

using Milliseconds = std::chrono::milliseconds;
inline constexpr Milliseconds kPollInterval{25};

// Polls `condition` every kPollInterval until it holds (true) or `timeout`
// passes (false). The condition is checked once more at the deadline.
bool WaitFor(const std::function<bool()>& condition, Milliseconds timeout);

// A path as this Windows process sees it: a Unix path (under Wine) becomes Z:\...
std::wstring WindowsPathOf(std::string_view path);

// A process started by the driver. Killed on destruction if still running.
class Process {
public:
    // `commandLine` without the program; the program is quoted.
    Process(const std::wstring& program, const std::wstring& commandLine = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    [[nodiscard]] DWORD Id() const noexcept { return info_.dwProcessId; }
    [[nodiscard]] HANDLE Handle() const noexcept { return info_.hProcess; }
    [[nodiscard]] bool Running() const;
    // Waits for the process to end; false when it is still running at the deadline.
    bool WaitForExit(Milliseconds timeout);
    // The exit code once ended.
    [[nodiscard]] std::optional<DWORD> ExitCode() const;
    void Kill();

private:
    PROCESS_INFORMATION info_{};
};

// Top-level windows of a process with this exact title (visible or not).
std::vector<HWND> TopLevelWindows(DWORD processId, std::wstring_view title);
// The first one, or nullptr.
HWND FindTopLevelWindow(DWORD processId, std::wstring_view title);
// Whether any top-level window with this title is visible now.
bool AnyVisibleWindow(DWORD processId, std::wstring_view title);
// Waits for a window with the title; nullptr at the deadline.
HWND WaitForTopLevelWindow(DWORD processId, std::wstring_view title, Milliseconds timeout);

// Message boxes (#32770) of a process.
HWND FindMessageBox(DWORD processId);
HWND WaitForMessageBox(DWORD processId, Milliseconds timeout);
struct MessageBoxContent {
    std::wstring title;
    std::wstring text;  // the box's text control (id 0xFFFF)
};
MessageBoxContent ReadMessageBox(HWND box);
// Presses one of the box's buttons by its id (IDOK, IDRETRY, IDCANCEL, ...),
// posted, so the driver never waits on the box.
void PressButton(HWND box, int id);
void PressOk(HWND box);

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);

// A child of `parent` by class and text (exact); nullptr if none.
HWND FindChild(HWND parent, std::wstring_view className, std::wstring_view text);
// The window's list view (the first SysListView32 child).
HWND FindList(HWND window);

// The list, read from its own process.
std::vector<std::wstring> ListHeaders(HWND list);
std::vector<std::vector<std::wstring>> ListRows(HWND list);  // row by row, every column
int ListRowCount(HWND list);
std::optional<int> ListSelectedRow(HWND list);  // display index
void SelectListRow(HWND list, int row);
// Posts a double-click at the middle of the row's first column.
void DoubleClickListRow(HWND list, int row);

// Buttons, option buttons and check boxes of `window` by their text.
// Clicks are posted BM_CLICKs; the click's effect is for the caller to wait for.
void ClickButton(HWND window, std::wstring_view text);
bool IsChecked(HWND window, std::wstring_view text);

// The constant alpha of a layered window; nullopt when it is not layered.
std::optional<std::uint8_t> LayeredAlpha(HWND window);

}  // namespace vantrel::e2e::driver
