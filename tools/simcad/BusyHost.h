// The two ways a busy CAD host keeps its callers waiting, played on simcad's
// main thread (the apartment that serves every automation object):
//   - a hang: the host computes (a long command, a big drawing loading, a
//     plot, a script) and does not pump messages, so calls into it neither
//     answer nor get rejected until it is done;
//   - a refusal: the host's OLE message filter rejects every incoming call,
//     as a host with a command or a modal dialog open does.
//
// What Wine (8.x) does with these, so that nothing relies on more: a hung
// host is simply a server thread that does not pump; Wine delivers a
// filter's SERVERCALL_REJECTED to the caller as RPC_E_CALL_REJECTED
// (0x80010001), ignores SERVERCALL_RETRYLATER (the call runs anyway, which is
// why the filter here never answers it), and never calls the caller's
// IMessageFilter::RetryRejectedCall: a caller that retries does so in its own
// code.
#pragma once

#include <objbase.h>
#include <windows.h>
#include <wrl/client.h>

#include <chrono>
#include <memory>
#include <optional>

#include "Journal.h"

namespace vantrel::simcad {

class BusyHost {
public:
    // Posted to simcad's window to start a hang once the command that asked
    // for it has returned to its sender; the window passes it to Hang().
    static constexpr UINT kHangMessage = WM_APP + 1;

    // Registers the rejecting message filter on the calling thread, which
    // must be simcad's main thread with COM initialised as an STA. Throws
    // std::runtime_error when COM refuses the filter.
    BusyHost(HWND window, Journal& journal);
    // Puts back the thread's previous filter (normally none).
    ~BusyHost();
    BusyHost(const BusyHost&) = delete;
    BusyHost& operator=(const BusyHost&) = delete;

    // The main thread stops answering for `length` from now: the hang starts
    // from a posted message, so the command's sender is answered first.
    void StartHang(std::chrono::milliseconds length);
    // Runs the hang that StartHang asked for: sleeps without pumping until it
    // is over, then journals kHangOverLine.
    void Hang();
    // Every incoming call is rejected by the message filter for `length` from
    // now (0: from now on none is).
    void RejectFor(std::chrono::milliseconds length);

    // What the filter reads: until when it rejects.
    struct RefusalWindow {
        std::chrono::steady_clock::time_point until{};
    };

private:
    HWND window_;
    Journal& journal_;
    std::shared_ptr<RefusalWindow> refusal_ = std::make_shared<RefusalWindow>();
    std::optional<std::chrono::steady_clock::time_point> hangUntil_;
    Microsoft::WRL::ComPtr<IMessageFilter> previous_;
};

}  // namespace vantrel::simcad
