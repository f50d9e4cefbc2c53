#include "Journal.h"

#include "win/Utf16.h"

namespace vantrel::simcad {
namespace {

// Often enough that a person sees each call as it comes.
constexpr UINT kShowDelayMs = 100;

}  // namespace

Journal::Journal(const std::wstring& path) {
    if (path.empty()) return;
    // Shared for reading, writing and deletion: tests read it while simcad
    // runs and may remove it afterwards even if simcad vanished.
    file_.reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void Journal::Call(std::string_view call, std::string_view arguments, std::string_view result) {
    std::string text = std::to_string(++sequence_);
    text += ' ';
    text += call;
    text += '(';
    text += arguments;
    text += ") -> ";
    text += result;
    Line(text);
}

void Journal::Line(std::string_view text) {
    if (IsOpen()) {
        std::string line(text);
        line += '\n';
        DWORD written = 0;
        // Unbuffered: every line is in the file when this returns.
        WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    if (listBox_ != nullptr) {
        if (waiting_.empty()) SetTimer(GetParent(listBox_), timerId_, kShowDelayMs, nullptr);
        waiting_.push_back(win::Utf16FromUtf8(text));
    }
}

void Journal::ShowWaitingLines() noexcept {
    if (listBox_ == nullptr) return;
    KillTimer(GetParent(listBox_), timerId_);
    if (waiting_.empty()) return;
    SendMessageW(listBox_, WM_SETREDRAW, FALSE, 0);
    LRESULT last = LB_ERR;
    for (const std::wstring& line : waiting_) {
        last = SendMessageW(listBox_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    }
    waiting_.clear();
    if (last >= 0) SendMessageW(listBox_, LB_SETTOPINDEX, static_cast<WPARAM>(last), 0);
    SendMessageW(listBox_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(listBox_, nullptr, TRUE);
}

void Journal::Clear() {
    if (IsOpen()) {
        SetFilePointer(file_.get(), 0, nullptr, FILE_BEGIN);
        SetEndOfFile(file_.get());
    }
    if (listBox_ != nullptr) {
        waiting_.clear();
        SendMessageW(listBox_, LB_RESETCONTENT, 0, 0);
    }
}

}  // namespace vantrel::simcad
