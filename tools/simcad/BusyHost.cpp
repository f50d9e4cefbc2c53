#include "BusyHost.h"

#include <oaidl.h>

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "SimcadProtocol.h"
#include "win/ComObject.h"
#include "win/Utf16.h"

namespace vantrel::simcad {
namespace {

using Clock = std::chrono::steady_clock;

// The interfaces whose calls reach simcad, with their methods in vtable order.
struct KnownInterface {
    IID iid;
    const char* name;
    std::array<const char*, 7> methods;
};

// COM's own remote IUnknown, through which a caller's QueryInterface, AddRef
// and Release of a proxy reach the server.
constexpr IID kIidRemUnknown = {0x00000131, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidRemUnknown2 = {0x00000143, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

const std::array<KnownInterface, 5>& KnownInterfaces() {
    static const std::array<KnownInterface, 5> known = {{
        {IID_IDispatch,
         "IDispatch",
         {"QueryInterface", "AddRef", "Release", "GetTypeInfoCount", "GetTypeInfo", "GetIDsOfNames", "Invoke"}},
        {IID_IEnumVARIANT, "IEnumVARIANT", {"QueryInterface", "AddRef", "Release", "Next", "Skip", "Reset", "Clone"}},
        {kIidRemUnknown,
         "IRemUnknown",
         {"QueryInterface", "AddRef", "Release", "RemQueryInterface", "RemAddRef", "RemRelease", nullptr}},
        {kIidRemUnknown2,
         "IRemUnknown2",
         {"QueryInterface", "AddRef", "Release", "RemQueryInterface", "RemAddRef", "RemRelease", "RemQueryInterface2"}},
        {IID_IUnknown, "IUnknown", {"QueryInterface", "AddRef", "Release", nullptr, nullptr, nullptr, nullptr}},
    }};
    return known;
}

// "IDispatch.Invoke", or the IID and the method's number for an interface not listed.
std::string CallName(const INTERFACEINFO* call) {
    if (call == nullptr) return "unknown";
    for (const KnownInterface& known : KnownInterfaces()) {
        if (IsEqualIID(call->iid, known.iid) && call->wMethod < known.methods.size() &&
            known.methods[call->wMethod] != nullptr) {
            return std::string(known.name) + "." + known.methods[call->wMethod];
        }
    }
    wchar_t iid[40] = {};
    StringFromGUID2(call->iid, iid, static_cast<int>(std::size(iid)));
    return win::Utf8FromUtf16(iid) + ".#" + std::to_string(call->wMethod);
}

// The host's message filter: it rejects every incoming call while the
// refusal window lasts, and takes them all otherwise. simcad makes no calls
// of its own while it serves (the registration in the running-object table
// is made before the filter), so the caller's side of the filter only says
// what a server that is never refused would.
class RejectingMessageFilter final : public win::ComObject<IMessageFilter> {
public:
    RejectingMessageFilter(std::shared_ptr<const BusyHost::RefusalWindow> refusal, Journal& journal)
        : refusal_(std::move(refusal)), journal_(journal) {}

    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO call) override {
        if (Clock::now() >= refusal_->until) return SERVERCALL_ISHANDLED;
        journal_.Call(CallName(call), "", kRejectedByFilterResult);
        return SERVERCALL_REJECTED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return static_cast<DWORD>(-1); }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }

private:
    ~RejectingMessageFilter() override = default;

    std::shared_ptr<const BusyHost::RefusalWindow> refusal_;
    Journal& journal_;
};

}  // namespace

BusyHost::BusyHost(HWND window, Journal& journal) : window_(window), journal_(journal) {
    Microsoft::WRL::ComPtr<IMessageFilter> filter;
    filter.Attach(new RejectingMessageFilter(refusal_, journal_));
    if (FAILED(CoRegisterMessageFilter(filter.Get(), &previous_))) {
        throw std::runtime_error("CoRegisterMessageFilter failed");
    }
}

BusyHost::~BusyHost() { CoRegisterMessageFilter(previous_.Get(), nullptr); }

void BusyHost::StartHang(std::chrono::milliseconds length) {
    const Clock::time_point until = Clock::now() + length;
    hangUntil_ = hangUntil_ ? std::max(*hangUntil_, until) : until;
    PostMessageW(window_, kHangMessage, 0, 0);
}

void BusyHost::Hang() {
    if (!hangUntil_) return;  // a second posted start of a hang already run
    // Not a pumping wait: calls queue behind it, unanswered and not rejected.
    std::this_thread::sleep_until(*hangUntil_);
    hangUntil_.reset();
    journal_.Line(kHangOverLine);
}

void BusyHost::RejectFor(std::chrono::milliseconds length) { refusal_->until = Clock::now() + length; }

}  // namespace vantrel::simcad
