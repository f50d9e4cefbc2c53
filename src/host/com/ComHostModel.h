// The host model's objects over late-bound IDispatch, made and used on the
// host thread only (the window reaches them through the host link). The
// wrappers are exposed here so that the locator and the Windows tests can put
// them over objects of their own.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <memory>
#include <string_view>

#include "host/HostModel.h"
#include "host/com/DispatchInvoke.h"

namespace vantrel::host::com {

// Types under which member DISPIDs are cached. Every entity answers
// ObjectName through the host's common object interface, so that one id is
// shared by all entities; other entity members are cached under the entity's
// ObjectName once it is known.
inline constexpr std::string_view kApplicationType = "AcadApplication";
inline constexpr std::string_view kDocumentType = "AcadDocument";
inline constexpr std::string_view kObjectType = "AcadObject";

std::shared_ptr<Application> WrapApplication(Microsoft::WRL::ComPtr<IDispatch> object,
                                             std::shared_ptr<ComSession> session);
std::shared_ptr<Document> WrapDocument(Microsoft::WRL::ComPtr<IDispatch> object, std::shared_ptr<ComSession> session);
std::shared_ptr<EntityCollection> WrapEntityCollection(Microsoft::WRL::ComPtr<IDispatch> object,
                                                       std::shared_ptr<ComSession> session);

}  // namespace vantrel::host::com
