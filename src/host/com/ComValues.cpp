#include "host/com/ComValues.h"

#include "host/com/ComFailures.h"

namespace vantrel::host::com {
namespace {

// Converts a plain value; objects are refused rather than asked for their
// default property, and empty or null results are not read as 0 or "".
Variant Converted(const Variant& value, VARTYPE to) {
    const auto base = static_cast<VARTYPE>(value.Type() & VT_TYPEMASK);
    if ((value.Type() & VT_ARRAY) != 0 || base == VT_EMPTY || base == VT_NULL || base == VT_DISPATCH ||
        base == VT_UNKNOWN || base == VT_VARIANT || base == VT_ERROR) {
        throw FailureFromStatus(DISP_E_TYPEMISMATCH);
    }
    Variant converted;
    const HRESULT hr =
        ::VariantChangeType(converted.Out(), const_cast<VARIANT*>(&value.Get()), VARIANT_NOVALUEPROP, to);
    if (FAILED(hr)) throw FailureFromStatus(hr);
    return converted;
}

}  // namespace

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

double ToDouble(const Variant& value) { return Converted(value, VT_R8).Get().dblVal; }

int ToInt(const Variant& value) { return Converted(value, VT_I4).Get().lVal; }

std::int64_t ToInt64(const Variant& value) { return Converted(value, VT_I8).Get().llVal; }

std::string ToString(const Variant& value) {
    const Variant text = Converted(value, VT_BSTR);
    return Utf8FromBstr(text.Get().bstrVal);
}

}  // namespace vantrel::host::com
