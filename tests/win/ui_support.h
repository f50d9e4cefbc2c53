// Support for the tests of the native window: message pumping with a
// deadline, in-process list reads, and a watch that answers message boxes.
#pragma once

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::ui::win32::testing {

// Dispatches this thread's messages (through the dialog manager for `dialog`,
// as the program's loop does) until `done` holds or the deadline passes.
// Returns whether `done` held.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10),
                      HWND dialog = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (dialog && IsDialogMessageW(dialog, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// Dispatches what is queued now.
inline void PumpPending(HWND dialog = nullptr) {
    PumpUntil([] { return true; }, std::chrono::milliseconds(0), dialog);
}

inline std::wstring ListText(HWND list, int row, int column) {
    wchar_t buffer[256]{};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 256;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

inline int ListCount(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

inline std::wstring WindowText(HWND window) {
    wchar_t buffer[1024]{};
    GetWindowTextW(window, buffer, 1024);
    return buffer;
}

// A message box seen by the watch: read, then answered with OK so that a test
// that opens one (on purpose or not) never hangs.
struct SeenBox {
    HWND owner = nullptr;
    std::wstring title;
    std::wstring text;
    bool hasIcon = false;
};

class MessageBoxWatch {
public:
    MessageBoxWatch() : thread_([this] { Run(); }) {}
    ~MessageBoxWatch() {
        stop_ = true;
        thread_.join();
    }
    MessageBoxWatch(const MessageBoxWatch&) = delete;
    MessageBoxWatch& operator=(const MessageBoxWatch&) = delete;

    std::vector<SeenBox> Seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }

private:
    static BOOL CALLBACK FindIcon(HWND child, LPARAM found) {
        wchar_t cls[32]{};
        GetClassNameW(child, cls, 32);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        if (lstrcmpiW(cls, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child) &&
            SendMessageW(child, STM_GETICON, 0, 0) != 0) {
            *reinterpret_cast<bool*>(found) = true;
        }
        return TRUE;
    }

    static BOOL CALLBACK Visit(HWND window, LPARAM self) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        wchar_t cls[16]{};
        GetClassNameW(window, cls, 16);
        if (pid != GetCurrentProcessId() || lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
        auto* watch = reinterpret_cast<MessageBoxWatch*>(self);
        for (const HWND answered : watch->answered_) {
            if (answered == window) return TRUE;  // OK already posted
        }
        watch->answered_.push_back(window);
        SeenBox box;
        box.owner = GetWindow(window, GW_OWNER);
        box.title = WindowText(window);
        box.text = WindowText(GetDlgItem(window, 0xFFFF));
        EnumChildWindows(window, &FindIcon, reinterpret_cast<LPARAM>(&box.hasIcon));
        {
            std::lock_guard lock(watch->mutex_);
            watch->seen_.push_back(box);
        }
        PostMessageW(window, WM_COMMAND, IDOK, 0);
        return TRUE;
    }

    void Run() {
        while (!stop_) {
            EnumWindows(&Visit, reinterpret_cast<LPARAM>(this));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<SeenBox> seen_;
    std::vector<HWND> answered_;  // only the watch thread uses it
    std::thread thread_;
};

}  // namespace vantrel::ui::win32::testing
