// The program's text is UTF-8; Win32 and COM speak UTF-16. Every Windows
// piece (the window, the COM link, simcad, the test drivers) converts here.
#pragma once

#include <string>
#include <string_view>

namespace vantrel::win {

std::wstring Utf16FromUtf8(std::string_view text);
std::string Utf8FromUtf16(std::wstring_view text);

}  // namespace vantrel::win
