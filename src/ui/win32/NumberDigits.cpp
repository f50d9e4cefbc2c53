// The automation library's number text from the library itself, in the
// invariant locale; the caller puts in the user's decimal separator.
#include "ui/NumberDigits.h"

#include <windows.h>

#include <oleauto.h>

#include <memory>
#include <string_view>

#include "base/Failure.h"
#include "win/Utf16.h"

namespace vantrel::ui {

std::string NumberDigits(double value) {
    BSTR text = nullptr;
    const HRESULT result = ::VarBstrFromR8(value, LOCALE_INVARIANT, 0, &text);
    if (FAILED(result)) {
        throw Failure(StatusCode(static_cast<std::uint32_t>(result)), "The number could not be written as text.");
    }
    const std::unique_ptr<OLECHAR, decltype(&::SysFreeString)> owner(text, &::SysFreeString);
    return win::Utf8FromUtf16(std::wstring_view(text, ::SysStringLen(text)));
}

}  // namespace vantrel::ui
