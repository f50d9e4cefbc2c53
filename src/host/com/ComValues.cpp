#include "host/com/ComValues.h"

#include <climits>
#include <new>

namespace vantrel::host::com {

namespace {

int CheckedLength(std::size_t length) {
    if (length > static_cast<std::size_t>(INT_MAX)) throw std::bad_alloc();
    return static_cast<int>(length);
}

}  // namespace

Bstr::Bstr(std::wstring_view text) {
    value_ = ::SysAllocStringLen(text.data(), static_cast<UINT>(CheckedLength(text.size())));
    if (value_ == nullptr) throw std::bad_alloc();
}

Bstr& Bstr::operator=(Bstr&& other) noexcept {
    if (this != &other) Attach(other.Detach());
    return *this;
}

BSTR* Bstr::Out() noexcept {
    Attach(nullptr);
    return &value_;
}

void Bstr::Attach(BSTR value) noexcept {
    ::SysFreeString(value_);
    value_ = value;
}

BSTR Bstr::Detach() noexcept {
    BSTR value = value_;
    value_ = nullptr;
    return value;
}

Variant::Variant(Variant&& other) noexcept : value_(other.value_) { ::VariantInit(&other.value_); }

Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        ::VariantClear(&value_);
        value_ = other.value_;
        ::VariantInit(&other.value_);
    }
    return *this;
}

Variant Variant::Double(double value) noexcept {
    Variant v;
    v.value_.vt = VT_R8;
    v.value_.dblVal = value;
    return v;
}

Variant Variant::Int(int value) noexcept {
    Variant v;
    v.value_.vt = VT_I4;
    v.value_.lVal = value;
    return v;
}

Variant Variant::Bool(bool value) noexcept {
    Variant v;
    v.value_.vt = VT_BOOL;
    v.value_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

Variant Variant::Dispatch(IDispatch* value) noexcept {
    Variant v;
    v.value_.vt = VT_DISPATCH;
    v.value_.pdispVal = value;
    if (value != nullptr) value->AddRef();
    return v;
}

Variant Variant::Take(VARIANT& value) noexcept {
    Variant v;
    v.value_ = value;
    ::VariantInit(&value);
    return v;
}

VARIANT* Variant::Out() noexcept {
    ::VariantClear(&value_);
    return &value_;
}

}  // namespace vantrel::host::com
