// The link to the running CAD host that the program uses: the COM host
// when the build has it, else a bare running-object lookup that finds a
// running instance but drives nothing.
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
