// The CAD host as the program uses it: the running application, its active
// document, the document's paper-space collection and the items in it. Every
// operation can fail with vantrel::Failure. Objects are reference-counted
// handles (shared_ptr); the window keeps only the application and document.
// An object a call answers is never null: a host that has none fails the call
// instead. Only the end of an enumeration is nullptr.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace vantrel::host {

class Document;

// Host enumerations the program passes or reads.
inline constexpr int kPaperSpace = 0;             // ActiveSpace value
inline constexpr int kModelSpace = 1;             // ActiveSpace value
inline constexpr int kScaledRelativeToPaper = 2;  // ZoomScaled scale type
inline constexpr int kRegenAllViewports = 1;      // Regen argument
inline constexpr std::string_view kViewportObjectName = "AcDbViewport";

// One item of paper space: a viewport, or any other entity of the layout
// (lines, text, block references). Only viewports answer CustomScale,
// DisplayLocked and Display.
class Entity {
public:
    virtual ~Entity() = default;
    virtual std::string ObjectName() = 0;
    virtual double CustomScale() = 0;
    // A display-locked viewport keeps its scale: the host sends zooms made
    // while it is active to the sheet instead.
    virtual bool DisplayLocked() = 0;
    virtual void Display(bool on) = 0;
};

// One pass over a paper-space collection, each item once, in collection order.
class EntityEnumerator {
public:
    virtual ~EntityEnumerator() = default;
    // The next item, or nullptr at the end.
    virtual std::shared_ptr<Entity> Next() = 0;
};

class EntityCollection {
public:
    virtual ~EntityCollection() = default;
    virtual std::unique_ptr<EntityEnumerator> Enumerate() = 0;
};

class Application {
public:
    virtual ~Application() = default;
    // Never empty: a host without an active document fails instead.
    virtual std::shared_ptr<Document> ActiveDocument() = 0;
    virtual void ZoomExtents() = 0;
    virtual void ZoomScaled(double scale, int scaleType) = 0;
};

class Document {
public:
    virtual ~Document() = default;
    virtual int ActiveSpace() = 0;
    virtual void SetActiveSpace(int space) = 0;
    virtual void SetMSpace(bool on) = 0;
    // Qualified: the member of the same name would change the meaning of the type.
    virtual std::shared_ptr<host::Application> Application() = 0;
    virtual std::shared_ptr<Entity> ActivePViewport() = 0;
    virtual void SetActivePViewport(Entity& viewport) = 0;
    virtual std::shared_ptr<EntityCollection> PaperSpace() = 0;
    virtual void Regen(int which) = 0;
};

// The running-object lookup: finds a running instance only, never starts one.
class HostLocator {
public:
    virtual ~HostLocator() = default;
    virtual std::shared_ptr<Application> GetRunningApplication(std::string_view progId) = 0;
};

}  // namespace vantrel::host
