#include "ui/win32/WideText.h"

#include <windows.h>

#include <limits>

#include "host/Failure.h"

namespace vantrel::ui::win32 {
namespace {
int Length(std::size_t size) {
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        throw Failure(status::kInvalidArgument, "The text is too long to show.");
    }
    return static_cast<int>(size);
}
}  // namespace

std::wstring Utf8ToWide(std::string_view text) {
    if (text.empty()) return {};
    const int length = Length(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), needed);
    return wide;
}

std::string WideToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int length = Length(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), needed, nullptr, nullptr);
    return narrow;
}

}  // namespace vantrel::ui::win32
