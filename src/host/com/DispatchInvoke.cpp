#include "host/com/DispatchInvoke.h"

#include <iterator>
#include <vector>

#include "host/com/ComFailures.h"
#include "win/Utf16.h"

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
        case CallKind::Get:
            return DISPATCH_PROPERTYGET;
        case CallKind::Put:
            return DISPATCH_PROPERTYPUT;
        case CallKind::Method:
            break;
    }
    return DISPATCH_METHOD;
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

}  // namespace vantrel::host::com
