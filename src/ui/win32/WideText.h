// UTF-8 (the program's text) to UTF-16 (Win32's) and back, at the boundary.
#pragma once

#include <string>
#include <string_view>

namespace vantrel::ui::win32 {

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

}  // namespace vantrel::ui::win32
