// The OLE message filter of the UI thread. When the host is busy (a modal
// dialog open, a command running) it rejects incoming calls; COM then asks
// this filter whether to try again. Calls are retried after a short delay for
// a bounded time and then cancelled, so the caller sees the rejection and the
// window's rule for a busy host applies instead of a hang.
#include <windows.h>

#include <objbase.h>
#include <wrl/client.h>

#include <utility>

#include "host/com/ComHost.h"
#include "host/com/DispatchInvoke.h"
#include "win/ComObject.h"

namespace vantrel::host::com {

using Microsoft::WRL::ComPtr;

namespace {

class BusyMessageFilter final : public win::ComObject<IMessageFilter> {
public:
    explicit BusyMessageFilter(std::shared_ptr<const ComSession> session) : session_(std::move(session)) {}

    // This thread serves no objects of its own; nothing is refused.
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsedMs, DWORD rejectType) override {
        return RetryRejectedCallDelay(elapsedMs, rejectType, session_->busy);
    }
    // While a call is out, COM keeps painting and activation going and
    // leaves input alone, so none of the window's handlers runs re-entrantly.
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }

private:
    ~BusyMessageFilter() override = default;

    std::shared_ptr<const ComSession> session_;
};

}  // namespace

BusyHostRetry::BusyHostRetry(std::shared_ptr<const ComSession> session) {
    ComPtr<IMessageFilter> filter;
    filter.Attach(new BusyMessageFilter(std::move(session)));
    const HRESULT hr = ::CoRegisterMessageFilter(filter.Get(), &previous_);
    if (FAILED(hr)) throw FailureFromStatus(hr);
}

BusyHostRetry::~BusyHostRetry() {
    // Puts back whatever filter the thread had before (usually none).
    ::CoRegisterMessageFilter(previous_.Get(), nullptr);
}

}  // namespace vantrel::host::com
