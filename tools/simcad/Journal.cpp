#include "Journal.h"

#include <limits>

namespace vantrel::simcad {

Journal::Journal(const std::wstring& path) {
    if (path.empty()) return;
    // Shared for reading, writing and deletion: tests read it while simcad
    // runs and may remove it afterwards even if simcad vanished.
    file_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

Journal::~Journal() {
    if (IsOpen()) CloseHandle(file_);
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
        WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    if (listBox_ != nullptr) {
        const std::wstring wide = Widen(text);
        const LRESULT index = SendMessageW(listBox_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
        if (index >= 0) SendMessageW(listBox_, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
    }
}

void Journal::Clear() {
    if (IsOpen()) {
        SetFilePointer(file_, 0, nullptr, FILE_BEGIN);
        SetEndOfFile(file_);
    }
    if (listBox_ != nullptr) SendMessageW(listBox_, LB_RESETCONTENT, 0, 0);
}

}  // namespace vantrel::simcad
