#include "app/HostLink.h"

#include "host/com/ComHost.h"

namespace vantrel::app {
namespace {

// The busy-host filter is registered before the first host call and stays for
// the life of the link.
class ComHostLink final : public HostLink {
public:
    ComHostLink() : retry_(host::com::RegisterBusyHostRetry()), locator_(host::com::CreateComHostLocator()) {}
    host::HostLocator& Locator() override { return *locator_; }

private:
    std::unique_ptr<host::com::BusyHostRetry> retry_;
    std::unique_ptr<host::HostLocator> locator_;
};

}  // namespace

std::unique_ptr<HostLink> CreateHostLink() { return std::make_unique<ComHostLink>(); }

}  // namespace vantrel::app
