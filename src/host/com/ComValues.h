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

// A BSTR that is freed exactly once. Out() frees the current string first, so
// it can be handed to a call that fills it.
class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(std::wstring_view text);
    ~Bstr() { ::SysFreeString(value_); }
    Bstr(Bstr&& other) noexcept : value_(other.Detach()) {}
    Bstr& operator=(Bstr&& other) noexcept;
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    [[nodiscard]] BSTR Get() const noexcept { return value_; }
    [[nodiscard]] std::size_t Length() const noexcept { return ::SysStringLen(value_); }
    [[nodiscard]] bool Empty() const noexcept { return Length() == 0; }
    [[nodiscard]] std::string Utf8() const { return Utf8FromBstr(value_); }
    BSTR* Out() noexcept;
    // Takes ownership of a string the caller allocated.
    void Attach(BSTR value) noexcept;
    [[nodiscard]] BSTR Detach() noexcept;

private:
    BSTR value_ = nullptr;
};

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
