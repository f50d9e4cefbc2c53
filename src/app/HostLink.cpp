#include "app/HostLink.h"

#include "host/com/ComHost.h"
#include "host/com/ComObjects.h"

namespace vantrel::app {
namespace {

// The busy-host filter is registered before the first host call and stays for
// the life of the link; it follows the busy policy of the locator's calls.
class ComHostLink final : public HostLink {
public:
    ComHostLink()
        : session_(std::make_shared<host::com::ComSession>()),
          retry_(host::com::RegisterBusyHostRetry(session_)),
          locator_(host::com::CreateComHostLocator(session_)) {}
    host::HostLocator& Locator() override { return *locator_; }

private:
    std::shared_ptr<host::com::ComSession> session_;
    std::unique_ptr<host::com::BusyHostRetry> retry_;
    std::unique_ptr<host::HostLocator> locator_;
};

}  // namespace

std::unique_ptr<HostLink> CreateHostLink() { return std::make_unique<ComHostLink>(); }

}  // namespace vantrel::app
