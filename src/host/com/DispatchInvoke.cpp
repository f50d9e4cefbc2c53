#include "host/com/DispatchInvoke.h"

#include <iterator>
#include <vector>

namespace vantrel::host::com {

namespace {

// An EXCEPINFO whose three strings are freed whatever happens, and whose
// deferred fill-in is run before it is read.
class ExcepInfo {
public:
    ExcepInfo() noexcept : info_{} {}
    ~ExcepInfo() { Reset(); }
    ExcepInfo(const ExcepInfo&) = delete;
    ExcepInfo& operator=(const ExcepInfo&) = delete;

    EXCEPINFO* Out() noexcept {
        Reset();
        return &info_;
    }
    void FillDeferred() noexcept {
        if (info_.pfnDeferredFillIn != nullptr) {
            const auto fill = info_.pfnDeferredFillIn;
            info_.pfnDeferredFillIn = nullptr;
            fill(&info_);
        }
    }
    [[nodiscard]] const EXCEPINFO& Get() const noexcept { return info_; }

private:
    void Reset() noexcept {
        ::SysFreeString(info_.bstrSource);
        ::SysFreeString(info_.bstrDescription);
        ::SysFreeString(info_.bstrHelpFile);
        info_ = EXCEPINFO{};
    }
    EXCEPINFO info_;
};

// The status a call really reports: for an exception, the code inside it.
HRESULT EffectiveStatus(HRESULT hr, const EXCEPINFO& info) {
    if (hr != DISP_E_EXCEPTION) return hr;
    if (info.scode != 0) return info.scode;
    if (info.wCode != 0) return HresultFromWCode(info.wCode);
    return hr;
}

std::pair<std::string, std::wstring> Key(std::string_view type, std::wstring_view member) {
    return {std::string(type), std::wstring(member)};
}

DISPID LookUp(ComSession& session, IDispatch& object, std::string_view type, std::wstring_view member) {
    std::wstring name(member);
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) throw Failure(hr, StatusText(hr) + " (" + win::Utf8FromUtf16(member) + ")");
    if (!type.empty()) session.dispIds.Store(type, member, id);
    return id;
}

// One call by DISPID. With `missIsNoResult`,
// a DISP_E_MEMBERNOTFOUND from the call itself returns no value instead of
// throwing, so that a stale cached DISPID can be looked up again.
std::optional<Variant> Call(IDispatch& object, DISPID id, WORD flags, std::initializer_list<const Variant*> arguments,
                            bool missIsNoResult) {
    // DISPPARAMS wants the arguments last to first; the copies are shallow
    // (the callee only reads them, the Variants keep ownership).
    std::vector<VARIANT> reversed;
    reversed.reserve(arguments.size());
    for (auto it = std::rbegin(arguments); it != std::rend(arguments); ++it) reversed.push_back((*it)->Get());

    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    DISPID namedPut = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = static_cast<UINT>(reversed.size());
    params.rgdispidNamedArgs = put ? &namedPut : nullptr;
    params.cNamedArgs = put ? 1U : 0U;

    Variant result;
    ExcepInfo exception;
    UINT argumentError = 0;
    const HRESULT callHr = object.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                         put ? nullptr : result.Out(), exception.Out(), &argumentError);
    if (callHr == DISP_E_EXCEPTION) exception.FillDeferred();
    if (SUCCEEDED(callHr)) return result;
    if (missIsNoResult && callHr == DISP_E_MEMBERNOTFOUND) return std::nullopt;
    throw FailureFromException(callHr, exception.Get());
}

WORD FlagsFor(CallKind kind) {
    switch (kind) {
        case CallKind::kGet:
            return DISPATCH_PROPERTYGET;
        case CallKind::kPut:
            return DISPATCH_PROPERTYPUT;
        case CallKind::kMethod:
            break;
    }
    return DISPATCH_METHOD;
}

Failure Mismatch() { return FailureFromStatus(DISP_E_TYPEMISMATCH); }

// Converts a plain value; objects are refused rather than asked for their
// default property, and empty or null results are not read as 0 or "".
Variant Converted(const Variant& value, VARTYPE to) {
    const VARTYPE base = static_cast<VARTYPE>(value.Type() & VT_TYPEMASK);
    if ((value.Type() & VT_ARRAY) != 0 || base == VT_EMPTY || base == VT_NULL || base == VT_DISPATCH ||
        base == VT_UNKNOWN || base == VT_VARIANT || base == VT_ERROR) {
        throw Mismatch();
    }
    Variant converted;
    const HRESULT hr =
        ::VariantChangeType(converted.Out(), const_cast<VARIANT*>(&value.Get()), VARIANT_NOVALUEPROP, to);
    if (FAILED(hr)) throw FailureFromStatus(hr);
    return converted;
}

}  // namespace

std::optional<DISPID> DispIdCache::Find(std::string_view type, std::wstring_view member) const {
    const auto found = ids_.find(Key(type, member));
    if (found == ids_.end()) return std::nullopt;
    return found->second;
}

void DispIdCache::Store(std::string_view type, std::wstring_view member, DISPID id) { ids_[Key(type, member)] = id; }

void DispIdCache::Forget(std::string_view type, std::wstring_view member) { ids_.erase(Key(type, member)); }

Variant Invoke(ComSession& session, IDispatch& object, std::string_view type, std::wstring_view member, CallKind kind,
               std::initializer_list<const Variant*> arguments) {
    const WORD flags = FlagsFor(kind);
    if (!type.empty()) {
        if (const auto cached = session.dispIds.Find(type, member)) {
            if (auto result = Call(object, *cached, flags, arguments, true)) return std::move(*result);
            // This object does not know the cached id: look the name up again.
            session.dispIds.Forget(type, member);
        }
    }
    const DISPID id = LookUp(session, object, type, member);
    return std::move(*Call(object, id, flags, arguments, false));
}

Variant InvokeId(IDispatch& object, DISPID id, WORD flags, std::initializer_list<const Variant*> arguments) {
    return std::move(*Call(object, id, flags, arguments, false));
}

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

Failure FailureFromStatus(HRESULT hr) { return Failure(hr, StatusText(hr)); }

HRESULT HresultFromWCode(WORD code) noexcept {
    constexpr auto kFirst = static_cast<HRESULT>(0x80040200);  // FACILITY_ITF, after the system's own codes
    constexpr auto kLast = static_cast<HRESULT>(0x8004FFFF);
    return code >= 0xFE00 ? kLast : kFirst + code;
}

Failure FailureFromException(HRESULT hr, const EXCEPINFO& info) {
    const HRESULT number = EffectiveStatus(hr, info);
    if (hr == DISP_E_EXCEPTION && ::SysStringLen(info.bstrDescription) != 0) {
        return Failure(number, Utf8FromBstr(info.bstrDescription));
    }
    return Failure(number, StatusText(number));
}

double ToDouble(const Variant& value) { return Converted(value, VT_R8).Get().dblVal; }

int ToInt(const Variant& value) { return Converted(value, VT_I4).Get().lVal; }

std::int64_t ToInt64(const Variant& value) { return Converted(value, VT_I8).Get().llVal; }

std::string ToString(const Variant& value) {
    const Variant text = Converted(value, VT_BSTR);
    return Utf8FromBstr(text.Get().bstrVal);
}

}  // namespace vantrel::host::com
