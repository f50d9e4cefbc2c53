// Late-bound calls on the host's IDispatch objects: one invoke helper for
// property gets, property puts and method calls, the DISPID cache that makes
// each call one round trip after the first, the retry of calls that a busy
// host rejects, and the conversion of failures into vantrel::Failure.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/Failure.h"
#include "host/com/ComValues.h"

namespace vantrel::host::com {

// How long and how often a call that a busy host rejects is tried again.
struct BusyRetryPolicy {
    static constexpr DWORD kPatientMs = 5000;
    DWORD boundMs = kPatientMs;  // from the first attempt; then the call fails (0: never retried)
    DWORD firstDelayMs = 50;     // wait before the first retry
    DWORD maxDelayMs = 250;      // the waits grow by half up to this
    DWORD filterDelayMs = 100;   // the message filter's wait before COM retries
};

inline constexpr DWORD kCancelCall = 0xFFFFFFFF;  // IMessageFilter: give up

// The message filter's verdict on a rejected outgoing call: the delay in ms
// before COM tries again, or kCancelCall. Only "retry later" is retried, while
// the call has been pending less than the bound; a call the host rejects
// outright is not.
DWORD RetryRejectedCallDelay(DWORD elapsedMs, DWORD rejectType, const BusyRetryPolicy& policy);

// The wait before the next retry in the invoke path: the first delay, then
// half as long again each time, never beyond the maximum.
DWORD NextBusyDelay(DWORD previousDelayMs, const BusyRetryPolicy& policy);

// Whether a call's own result, or the scode of its exception, says "busy,
// retry later". RPC_E_CALL_REJECTED is final: COM returns it once the message
// filter gave up, or the host refused the call.
bool IsRetryLater(HRESULT hr);

// Waits the given time while dispatching WM_PAINT only, so the window keeps
// painting but none of the program's own handlers (buttons, timer, list) runs
// inside a host call that is being retried: those messages stay queued and
// are handled once the call is over.
void WaitPaintingOnly(DWORD ms);

// DISPIDs by (object type, member name). Objects of one type share their
// member ids, so the lookup is made once per type, not per object.
class DispIdCache {
public:
    [[nodiscard]] std::optional<DISPID> Find(std::string_view type, std::wstring_view member) const;
    void Store(std::string_view type, std::wstring_view member, DISPID id);
    void Forget(std::string_view type, std::wstring_view member);
    [[nodiscard]] std::size_t Size() const noexcept { return ids_.size(); }

private:
    std::map<std::pair<std::string, std::wstring>, DISPID, std::less<>> ids_;
};

// What all wrappers of one host share.
struct ComSession {
    DispIdCache dispIds;
    BusyRetryPolicy busy;
};

enum class CallKind { kGet, kPut, kMethod };

// Calls member `member` of `object`. `type` names the object's type for the
// DISPID cache; an empty type is looked up on every call. Arguments are given
// in natural order. A failure throws vantrel::Failure with the host's scode
// (or the call's HRESULT) and its description.
Variant Invoke(ComSession& session, IDispatch& object, std::string_view type, std::wstring_view member, CallKind kind,
               std::initializer_list<const Variant*> arguments = {});

// The same by DISPID, with explicit DISPATCH_* flags (for _NewEnum).
Variant InvokeId(ComSession& session, IDispatch& object, DISPID id, WORD flags,
                 std::initializer_list<const Variant*> arguments = {});

// Runs `call` (which returns an HRESULT) again while it reports a busy host,
// waiting between attempts, until the policy's bound has passed.
template <typename Call>
HRESULT RetryWhileBusy(const BusyRetryPolicy& policy, Call&& call) {
    const ULONGLONG start = ::GetTickCount64();
    DWORD delay = 0;
    for (;;) {
        const HRESULT hr = call();
        if (!IsRetryLater(hr)) return hr;
        const ULONGLONG elapsed = ::GetTickCount64() - start;
        if (elapsed >= policy.boundMs) return hr;
        delay = NextBusyDelay(delay, policy);
        const auto left = static_cast<DWORD>(policy.boundMs - elapsed);
        WaitPaintingOnly(delay < left ? delay : left);
    }
}

// The text for a status code: the system's message, trimmed, or a short
// fixed text when the system has none.
std::string StatusText(HRESULT hr);

// A failure for a status code with the system's text for it.
Failure FailureFromStatus(HRESULT hr);

// The conventional HRESULT for an EXCEPINFO that carries only a wCode.
HRESULT HresultFromWCode(WORD code) noexcept;

// A failure from what a call returned: the EXCEPINFO's scode or wCode and its
// description when the call raised an exception, else the HRESULT.
Failure FailureFromException(HRESULT hr, const EXCEPINFO& info);

// A result as a double, an int or a string, through VariantChangeType.
// Objects, empty and null results fail with DISP_E_TYPEMISMATCH.
double ToDouble(const Variant& value);
int ToInt(const Variant& value);
std::string ToString(const Variant& value);

}  // namespace vantrel::host::com
