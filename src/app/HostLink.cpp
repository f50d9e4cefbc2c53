#include "app/HostLink.h"

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>

#include "host/Failure.h"

#if defined(VANTREL_HAVE_COM_HOST)
#include "host/com/ComHost.h"
#endif

namespace vantrel::app {
namespace {

#if defined(VANTREL_HAVE_COM_HOST)

class ComHostLink final : public HostLink {
public:
    ComHostLink() : retry_(host::com::RegisterBusyHostRetry()), locator_(host::com::CreateComHostLocator()) {}
    host::HostLocator& Locator() override { return *locator_; }

private:
    std::unique_ptr<host::com::BusyHostRetry> retry_;
    std::unique_ptr<host::HostLocator> locator_;
};

#else

// Finds a running instance in the running-object table and no more: without
// the COM host this build cannot drive it, and says so.
class RunningObjectLocator final : public host::HostLocator {
public:
    std::shared_ptr<host::Application> GetRunningApplication(std::string_view progId) override {
        std::wstring wide(progId.begin(), progId.end());
        CLSID clsid{};
        HRESULT hr = CLSIDFromProgID(wide.c_str(), &clsid);
        if (FAILED(hr)) throw Failure(StatusCode(static_cast<std::uint32_t>(hr)), "Invalid class string");
        Microsoft::WRL::ComPtr<IUnknown> running;
        hr = GetActiveObject(clsid, nullptr, &running);
        if (FAILED(hr)) throw Failure(StatusCode(static_cast<std::uint32_t>(hr)), "Operation unavailable");
        throw Failure(status::kNoInterface, "This build of Vantrel cannot drive the host.");
    }
};

class RunningObjectLink final : public HostLink {
public:
    host::HostLocator& Locator() override { return locator_; }

private:
    RunningObjectLocator locator_;
};

#endif

}  // namespace

std::unique_ptr<HostLink> CreateHostLink() {
#if defined(VANTREL_HAVE_COM_HOST)
    return std::make_unique<ComHostLink>();
#else
    return std::make_unique<RunningObjectLink>();
#endif
}

}  // namespace vantrel::app
