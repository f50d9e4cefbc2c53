// The record of every call simcad receives: a file that tests read while it
// is written (each line goes straight to the file), and the list box of
// simcad's window, so a person sees what each button did. The list box gets
// its lines in batches a moment later: drawing it at every call made each
// round trip several times as slow as the call itself.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "win/UniqueHandle.h"

namespace vantrel::simcad {

class Journal {
public:
    // An empty path keeps the journal in the window only.
    explicit Journal(const std::wstring& path);
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    [[nodiscard]] bool IsOpen() const noexcept { return win::Holds(file_); }
    // Lines go to `listBox` when its parent's timer `timerId` fires, which
    // the journal sets whenever lines are waiting.
    void ShowIn(HWND listBox, UINT_PTR timerId) noexcept {
        listBox_ = listBox;
        timerId_ = timerId;
    }
    // Moves the waiting lines into the list box, drawing it once.
    void ShowWaitingLines() noexcept;

    // One round trip: "<sequence> <call>(<arguments>) -> <result>".
    void Call(std::string_view call, std::string_view arguments, std::string_view result);
    // A line as it is (readiness, control commands).
    void Line(std::string_view text);
    // Empties the file (and the window); the sequence goes on.
    void Clear();

private:
    win::UniqueHandle file_;
    HWND listBox_ = nullptr;
    UINT_PTR timerId_ = 0;
    std::vector<std::wstring> waiting_;
    unsigned long sequence_ = 0;
};

}  // namespace vantrel::simcad
