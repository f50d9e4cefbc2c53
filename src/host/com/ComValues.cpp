#include "host/com/ComValues.h"

namespace vantrel::host::com {

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
