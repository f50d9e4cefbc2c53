// simcad's automation objects: application, document, paper-space collection
// with its enumerator, and entities, each an IDispatch written by hand over a
// table of members with fixed DISPIDs. Every call is forwarded to the
// in-memory host, so faults, rules and state are those of the unit tests, and
// every round trip is journaled.
#pragma once

#include <oaidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <memory>

#include "Journal.h"
#include "sim/SimulatedHost.h"

namespace vantrel::simcad {

struct Server {
    std::shared_ptr<sim::SimulatedHost> host;
    Journal& journal;
    HWND mainWindow = nullptr;  // what Application.HWND reads
};

// The application object that goes into the running-object table.
Microsoft::WRL::ComPtr<IDispatch> CreateApplicationObject(Server& server);

}  // namespace vantrel::simcad
