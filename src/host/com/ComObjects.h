// The host model's objects over late-bound IDispatch. The window reaches them
// through CreateComHostLocator(); the wrappers are exposed here so that the
// Windows tests can put them over objects of their own.
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
inline constexpr std::string_view kPaperSpaceType = "AcadPaperSpace";
inline constexpr std::string_view kObjectType = "AcadObject";

// Items fetched from the host per IEnumVARIANT::Next call.
inline constexpr ULONG kEnumerationBatch = 64;

std::shared_ptr<Application> WrapApplication(Microsoft::WRL::ComPtr<IDispatch> object,
                                             std::shared_ptr<ComSession> session);
std::shared_ptr<Document> WrapDocument(Microsoft::WRL::ComPtr<IDispatch> object, std::shared_ptr<ComSession> session);
std::shared_ptr<EntityCollection> WrapEntityCollection(Microsoft::WRL::ComPtr<IDispatch> object,
                                                       std::shared_ptr<ComSession> session);

// A locator whose objects share the given session (DISPID cache, busy policy).
std::unique_ptr<HostLocator> CreateComHostLocator(std::shared_ptr<ComSession> session);

// The host object behind an entity of this link; nullptr for an entity of
// another host model or an item that was not an object.
IDispatch* DispatchOf(Entity& entity) noexcept;

}  // namespace vantrel::host::com
