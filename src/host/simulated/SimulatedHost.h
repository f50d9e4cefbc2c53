// An in-memory CAD host that behaves like the real one: documents with an
// active space, paper-space items in order (the sheet's own viewport first,
// floating viewports, lines, text), the active viewport, MSpace and the view's
// zoom. It journals every call it receives and can fail any call on demand.
// The unit tests use it directly; tools/simcad serves it over COM.
//
// Call names (journal and faults), "<Object>.<Member>", a trailing '=' for a
// property write:
//   Locator.GetActiveObject
//   Application.ActiveDocument  Application.ZoomExtents  Application.ZoomScaled
//   Document.ActiveSpace  Document.ActiveSpace=  Document.MSpace=
//   Document.Application  Document.ActivePViewport  Document.ActivePViewport=
//   Document.PaperSpace  Document.Regen
//   PaperSpace._NewEnum  PaperSpace.Next
//   Entity.ObjectName  Entity.CustomScale  Entity.Display
//
// Scenario text, one statement a line, '#' starts a comment:
//   document NAME                  a new document; the first is the active one
//   space paper|model              the current document's ActiveSpace (default model)
//   mspace on|off                  the current document's MSpace (default off)
//   viewport SCALE [on|off] [active]
//                                  a paper-space viewport; SCALE is a decimal or N/D
//                                  (CustomScale), default on
//   entity OBJECTNAME              any other paper-space item (AcDbLine, AcDbText, ...)
//   fail CALL NUMBER MODE [DESCRIPTION...]
//                                  CALL fails with NUMBER (decimal or 0x hex) and the
//                                  description; MODE is always | once | after=N (N
//                                  calls succeed, then it fails) | for=MS (fails for MS
//                                  milliseconds from the first call it matches)
//   notrunning                     no running instance: the lookup fails
//   nodocument                     running with no drawing open
// Items named before any `document` go to an implicit document "Drawing1".
#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/HostModel.h"

namespace vantrel::host::simulated {

// Every call the host answers, by its journal name.
inline constexpr std::array<std::string_view, 17> kCallNames = {
    "Locator.GetActiveObject",  "Application.ActiveDocument",
    "Application.ZoomExtents",  "Application.ZoomScaled",
    "Document.ActiveSpace",     "Document.ActiveSpace=",
    "Document.MSpace=",         "Document.Application",
    "Document.ActivePViewport", "Document.ActivePViewport=",
    "Document.PaperSpace",      "Document.Regen",
    "PaperSpace._NewEnum",      "PaperSpace.Next",
    "Entity.ObjectName",        "Entity.CustomScale",
    "Entity.Display",
};

// Faults are named by these calls: a name the host never answers would make a
// fault that never fires.
inline bool IsCallName(std::string_view call) noexcept {
    return std::find(kCallNames.begin(), kCallNames.end(), call) != kCallNames.end();
}

struct JournalEntry {
    std::string call;       // "Document.MSpace="
    std::string arguments;  // "true"; several are separated by ", "
    std::string result;     // "" on success, else the failure's number in hex
};

enum class FaultMode { Always, Once, AfterCalls, ForDuration };

struct Fault {
    std::string call;
    std::int32_t number = 0;
    std::string description;
    FaultMode mode = FaultMode::Always;
    int afterCalls = 0;                     // AfterCalls
    std::chrono::milliseconds duration{0};  // ForDuration
};

struct SimEntity {
    std::string objectName = std::string(kViewportObjectName);
    double customScale = 1.0;
    bool display = true;

    friend bool operator==(const SimEntity&, const SimEntity&) = default;
};

struct SimDocument {
    std::string name;
    int activeSpace = kModelSpace;
    bool mspace = false;
    std::vector<SimEntity> paperSpace;
    std::optional<std::size_t> activeViewport;  // index into paperSpace
    int zoomExtentsCount = 0;
    std::vector<double> zoomScales;  // every ZoomScaled, in order
    int regenCount = 0;

    friend bool operator==(const SimDocument&, const SimDocument&) = default;
};

class SimulatedHost : public std::enable_shared_from_this<SimulatedHost> {
public:
    // Throws std::invalid_argument naming the line of a malformed statement.
    static std::shared_ptr<SimulatedHost> FromScenario(std::string_view text);
    static std::shared_ptr<SimulatedHost> Create();
    // Defined where the locator is complete; use through a shared_ptr.
    SimulatedHost();
    ~SimulatedHost();
    SimulatedHost(const SimulatedHost&) = delete;
    SimulatedHost& operator=(const SimulatedHost&) = delete;

    // State, readable and changeable by tests (and by simcad's control commands).
    bool running = true;
    std::vector<SimDocument> documents;
    std::optional<std::size_t> activeDocument;  // none: no drawing open

    SimDocument& ActiveDocumentState();  // throws std::logic_error without one

    // The lookup that GetActiveObject stands for, and the application object.
    HostLocator& Locator();
    std::shared_ptr<Application> ApplicationObject();

    void InjectFault(Fault fault);
    void ClearFaults();
    [[nodiscard]] const std::vector<JournalEntry>& Journal() const noexcept { return journal_; }
    void ClearJournal() noexcept { journal_.clear(); }
    // The journal as text, one "call(arguments) -> result" line a call.
    [[nodiscard]] std::string JournalText() const;

    // Runs at every call once it is journaled, before an injected failure or
    // the call's effect: tests look at the drawing there, or change it (items
    // that go away between two passes).
    std::function<void(const JournalEntry&)> onCall;

    // Every call passes here: journals it, runs onCall, then throws the
    // injected failure if one applies. Public for the object proxies.
    void Enter(std::string_view call, std::string arguments = {});
    // Fails the call just entered with the host's number and description and
    // records the failure in its journal entry.
    [[noreturn]] void Refuse(std::int32_t number, std::string description);

private:
    class LocatorImpl;
    std::vector<Fault> faults_;
    std::vector<int> faultHits_;
    std::vector<std::optional<std::chrono::steady_clock::time_point>> faultStarts_;
    std::vector<JournalEntry> journal_;
    std::unique_ptr<LocatorImpl> locator_;
};

}  // namespace vantrel::host::simulated
