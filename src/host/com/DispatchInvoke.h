// Late-bound calls on the host's IDispatch objects: one invoke helper for
// property gets, property puts and method calls, and the DISPID cache that
// makes each call one round trip after the first. Used on the host thread
// only: one attempt a call (a call the host rejects is sent again by the host
// link, within its budget).
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "host/com/ComValues.h"

namespace vantrel::host::com {

// DISPIDs by (object type, member name). Objects of one type share their
// member ids, so the lookup is made once per type, not per object.
class DispIdCache {
public:
    [[nodiscard]] std::optional<DISPID> Find(std::string_view type, std::wstring_view member) const;
    void Store(std::string_view type, std::wstring_view member, DISPID id);
    void Forget(std::string_view type, std::wstring_view member);

private:
    std::map<std::pair<std::string, std::wstring>, DISPID, std::less<>> ids_;
};

// What all wrappers of one host share.
struct ComSession {
    DispIdCache dispIds;
};

enum class CallKind { Get, Put, Method };

// Calls member `member` of `object`. `type` names the object's type for the
// DISPID cache; an empty type is looked up on every call. Arguments are given
// in natural order. A failure throws vantrel::Failure with the host's scode
// (or the call's HRESULT) and its description.
Variant Invoke(ComSession& session, IDispatch& object, std::string_view type, std::wstring_view member, CallKind kind,
               std::initializer_list<const Variant*> arguments = {});

// The same by DISPID, with explicit DISPATCH_* flags (for _NewEnum).
Variant InvokeId(IDispatch& object, DISPID id, WORD flags, std::initializer_list<const Variant*> arguments = {});

}  // namespace vantrel::host::com
