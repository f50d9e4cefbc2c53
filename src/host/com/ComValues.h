// Owning wrappers for the two COM value types the host link passes around,
// and a BSTR's text as UTF-8.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <string_view>

#include "win/Utf16.h"

namespace vantrel::host::com {

// A BSTR's text; a null BSTR is the empty string, as COM has it.
inline std::string Utf8FromBstr(const BSTR text) {
    return text == nullptr ? std::string() : win::Utf8FromUtf16(std::wstring_view(text, ::SysStringLen(text)));
}

// A VARIANT that is cleared exactly once.
class Variant {
public:
    Variant() noexcept { ::VariantInit(&value_); }
    ~Variant() { ::VariantClear(&value_); }
    Variant(Variant&& other) noexcept;
    Variant& operator=(Variant&& other) noexcept;
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    static Variant Double(double value) noexcept;
    static Variant Int(int value) noexcept;
    static Variant Bool(bool value) noexcept;
    // Holds its own reference to the object.
    static Variant Dispatch(IDispatch* value) noexcept;
    // Takes over a VARIANT the caller owns, leaving it VT_EMPTY.
    static Variant Take(VARIANT& value) noexcept;

    [[nodiscard]] const VARIANT& Get() const noexcept { return value_; }
    [[nodiscard]] VARIANT& Get() noexcept { return value_; }
    [[nodiscard]] VARTYPE Type() const noexcept { return value_.vt; }
    // Cleared first, for a call that fills it.
    VARIANT* Out() noexcept;

private:
    VARIANT value_;
};

}  // namespace vantrel::host::com
