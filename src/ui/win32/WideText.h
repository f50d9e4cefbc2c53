// UTF-8 (the program's text) to UTF-16 (Win32's) and back, at the boundary.
#pragma once

#include <string>
#include <string_view>

#include "win/Utf16.h"

namespace vantrel::ui::win32 {

inline std::wstring Utf8ToWide(std::string_view text) { return win::Utf16FromUtf8(text); }
inline std::string WideToUtf8(std::wstring_view text) { return win::Utf8FromUtf16(text); }

}  // namespace vantrel::ui::win32
