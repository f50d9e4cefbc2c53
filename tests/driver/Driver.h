// Drives the build's programs from another process, as a user would and as the benchmarks measure them.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "win/UniqueHandle.h"

namespace vantrel::driver {

using namespace std::chrono_literals;
using Milliseconds = std::chrono::milliseconds;

bool WaitFor(const std::function<bool()>& condition, Milliseconds timeout, Milliseconds poll = 20ms);
inline double NowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
std::wstring WindowsPath(std::string_view path);  // a Unix path (under Wine) becomes Z:\...

// A program in a job that ends it with the driver, however the driver ends.
class Process {
public:
    Process(const std::wstring& program, const std::wstring& arguments);
    ~Process();  // killed if still running
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    [[nodiscard]] DWORD Id() const { return info_.dwProcessId; }
    [[nodiscard]] HANDLE Handle() const { return info_.hProcess; }
    [[nodiscard]] bool Running() const { return !WaitForExit(0ms); }
    [[nodiscard]] bool WaitForExit(Milliseconds timeout) const {
        return WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
    }
    // Ends the program at once, as a crash does; true once it is gone.
    bool Kill() const;
    [[nodiscard]] DWORD ExitCode() const {  // STILL_ACTIVE while running
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info_{};
};

// A top-level window of the process by its title and class (any when null).
HWND TopLevel(DWORD processId, const wchar_t* title, const wchar_t* className = nullptr, bool visibleOnly = true);
inline HWND MessageBoxOf(DWORD processId) { return TopLevel(processId, nullptr, L"#32770"); }
std::string Text(HWND window);
std::string BoxText(HWND box);  // a message box's "title: text"
// Posted, so that a handler that opens a modal box does not hold the driver.
void Click(HWND button);  // BM_CLICK, as a program or an accessibility tool clicks
// The mouse's click: button down and up posted at the control's centre, input that the window may hold back.
void MouseClick(HWND control);
void PressKey(HWND target, WORD key);
bool IsChecked(HWND button);
HWND Focus(HWND window);  // in the thread of `window`
int Alpha(HWND window);   // 255 unless layered; -1 unreadable
// Brings a top-level window of another process to the front and activates it, as a click on it does; false when
// the system refused.
bool BringToFront(HWND window);
// Whether `upper` comes before `lower` among the top-level windows, the topmost first (EnumWindows' order).
bool IsAbove(HWND upper, HWND lower);

// The list view, through memory placed in its process where a message needs it.
int ListRowCount(HWND list);
void SelectRow(HWND list, int row);
void DoubleClickRow(HWND list, int row);

// simcad serving a scenario file, its journal read as it grows; with a release number (1 to 9999), another release
// of the host beside the current one (simcad's --release).
class Simcad {
public:
    struct Call {
        std::string text;  // "Object.Member(arguments) -> result"
        double seenMs;     // NowMs() of the read that found it
    };
    // Until "ready".
    Simcad(const std::wstring& exe, const std::wstring& scenario, const std::wstring& journal, unsigned release = 0);
    ~Simcad();  // once a hang is over: "quit", else killed
    [[nodiscard]] bool Ready() const { return ready_; }
    Process& Program() { return process_; }
    [[nodiscard]] HWND Window() const;  // its main window, null once it is gone
    // True when understood and applied. Not during a hang: simcad answers no command then.
    bool Send(std::string_view command);
    const std::vector<Call>& Calls();
    std::size_t Count(std::string_view fragment, std::size_t from = 0);  // calls at or after `from`
    std::string CallsText();
    // Whether the last "hang MS" simcad took is not over yet, as its journal says.
    bool Hanging();

private:
    std::wstring journal_;
    Process process_;
    win::UniqueHandle file_;
    std::string pending_;
    std::vector<Call> calls_;
    std::vector<Call> notes_;  // the journal's lines that are not calls: "ready", "-- <command>", "hang over"
    bool ready_ = false;
};

}  // namespace vantrel::driver
