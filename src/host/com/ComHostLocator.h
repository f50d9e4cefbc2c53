// The running-object lookup over COM: the host's running instance from the
// running-object table, never started; of several releases running side by
// side, the one in front.
#pragma once

#include <memory>

#include "host/HostModel.h"
#include "host/com/DispatchInvoke.h"

namespace vantrel::host::com {

// A locator whose objects share the given session (the DISPID cache). Its
// objects, and the locator itself, are used on the host thread only.
std::unique_ptr<HostLocator> CreateComHostLocator(std::shared_ptr<ComSession> session);

}  // namespace vantrel::host::com
