// The link to the running CAD host: the COM host with its busy-host retry.
#pragma once

#include <memory>

#include "host/HostModel.h"

namespace vantrel::app {

class HostLink {
public:
    virtual ~HostLink() = default;
    virtual host::HostLocator& Locator() = 0;
};

// Call on the UI thread after CoInitializeEx.
std::unique_ptr<HostLink> CreateHostLink();

}  // namespace vantrel::app
