#include "host/com/ComFailures.h"

#include "host/com/ComValues.h"
#include "win/Utf16.h"

namespace vantrel::host::com {
namespace {

// The status a call really reports: for an exception, the code inside it.
HRESULT EffectiveStatus(HRESULT hr, const EXCEPINFO& info) {
    if (hr != DISP_E_EXCEPTION) return hr;
    if (info.scode != 0) return info.scode;
    if (info.wCode != 0) return HresultFromWCode(info.wCode);
    return hr;
}

}  // namespace

std::string StatusText(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length != 0 && buffer != nullptr) text.assign(buffer, length);
    if (buffer != nullptr) ::LocalFree(buffer);
    const auto last = text.find_last_not_of(L" \t\r\n");
    text.erase(last == std::wstring::npos ? 0 : last + 1);
    if (text.empty()) return "Automation error";
    return win::Utf8FromUtf16(text);
}

Failure FailureFromStatus(HRESULT hr) { return {hr, StatusText(hr)}; }

HRESULT HresultFromWCode(WORD code) noexcept {
    constexpr auto kFirst = static_cast<HRESULT>(0x80040200);  // FACILITY_ITF, after the system's own codes
    constexpr auto kLast = static_cast<HRESULT>(0x8004FFFF);
    return code >= 0xFE00 ? kLast : kFirst + code;
}

Failure FailureFromException(HRESULT hr, const EXCEPINFO& info) {
    const HRESULT number = EffectiveStatus(hr, info);
    if (hr == DISP_E_EXCEPTION && ::SysStringLen(info.bstrDescription) != 0) {
        return {number, Utf8FromBstr(info.bstrDescription)};
    }
    return {number, StatusText(number)};
}

}  // namespace vantrel::host::com
