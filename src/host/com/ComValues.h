// The values host calls pass and answer: an owning VARIANT, a BSTR's text as
// UTF-8, and an answer read as the plain value the program wants.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <cstdint>
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
    VARIANT value_{};
};

// A result as a double, an int or a string, through VariantChangeType.
// Objects, empty and null results fail with DISP_E_TYPEMISMATCH.
double ToDouble(const Variant& value);
int ToInt(const Variant& value);
std::int64_t ToInt64(const Variant& value);
std::string ToString(const Variant& value);

}  // namespace vantrel::host::com
