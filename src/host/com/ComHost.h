// The CAD host over COM automation: late-bound IDispatch on the running
// instance found in the running-object table. Use on the UI thread, an STA.
#pragma once

#include <windows.h>

#include <objidl.h>
#include <wrl/client.h>

#include <memory>

#include "host/HostModel.h"

namespace vantrel::host::com {

struct ComSession;

// The running-object lookup of a ProgID: CLSIDFromProgID, then GetActiveObject.
// Finds a running instance only and never starts one.
std::unique_ptr<HostLocator> CreateComHostLocator();

// While alive, an OLE message filter on the calling thread asks COM to retry
// calls that a busy host asks to retry later, for as long as the session's
// busy policy says at the moment of the rejection. The thread must be an STA
// (CoInitializeEx with COINIT_APARTMENTTHREADED, or OleInitialize); otherwise
// registering throws vantrel::Failure.
class BusyHostRetry {
public:
    explicit BusyHostRetry(std::shared_ptr<const ComSession> session);
    ~BusyHostRetry();
    BusyHostRetry(const BusyHostRetry&) = delete;
    BusyHostRetry& operator=(const BusyHostRetry&) = delete;

private:
    Microsoft::WRL::ComPtr<IMessageFilter> previous_;
};

}  // namespace vantrel::host::com
