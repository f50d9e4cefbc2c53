// An in-memory CAD host that behaves as the real one is documented to: documents
// whose ActiveSpace is the drawing's TILEMODE (the Model tab or a layout), a
// layout in paper space proper or with model space active inside a floating
// viewport (MSpace, a flag of its own), paper-space items in order (the
// layout's own viewport first, floating viewports, lines, text), the active
// viewport, display locks, and the three views a zoom can change: the active
// floating viewport (its CustomScale), the sheet and the Model tab's view. It
// journals every call it receives and can fail or slow down any call on demand.
// The unit tests use it directly; tools/simcad serves it over COM.
//
// Call names (journal, faults, slow calls), "<Object>.<Member>", a trailing
// '=' for a property write:
//   Locator.GetActiveObject
//   Application.ActiveDocument  Application.ZoomExtents  Application.ZoomScaled
//   Document.ActiveSpace  Document.ActiveSpace=  Document.MSpace=
//   Document.Application  Document.ActivePViewport  Document.ActivePViewport=
//   Document.PaperSpace  Document.Regen
//   PaperSpace._NewEnum  PaperSpace.Next
//   Entity.ObjectName  Entity.CustomScale  Entity.DisplayLocked  Entity.Display
//
// Scenario text, one statement a line, '#' starts a comment:
//   document NAME                  a new document; the first is the active one
//   space paper|model              the current document's ActiveSpace: a layout, or
//                                  the Model tab (default model)
//   mspace on|off                  model space active inside the active floating
//                                  viewport, or paper space proper (default off)
//   extents SCALE                  the CustomScale a floating viewport gets from
//                                  ZoomExtents (default 1/7)
//   viewport SCALE [on|off] [active] [locked]
//                                  a paper-space viewport; SCALE is a decimal or N/D
//                                  (CustomScale), default on, unlocked
//   entity OBJECTNAME              any other paper-space item (AcDbLine, AcDbText, ...)
//   fail CALL NUMBER MODE [DESCRIPTION...]
//                                  CALL fails with NUMBER (decimal or 0x hex) and the
//                                  description; MODE is always | once | after=N (N
//                                  calls succeed, then it fails) | for=MS (fails for MS
//                                  milliseconds from the first call it matches)
//   slow CALL MS                   CALL takes MS milliseconds to answer
//   notrunning                     no running instance: the lookup fails
//   nodocument                     running with no drawing open
// Items named before any `document` go to an implicit document "Drawing1".
//
// The user's own moves in the host while a test runs (ApplyUserMove, and
// simcad's "user" command), on the active document:
//   leave-viewport                 paper space proper (MSpace off)
//   enter-viewport                 model space in the last active viewport
//   model-tab | layout             ActiveSpace model | paper
//   lock N | unlock N              display lock of paper-space item N (1-based)
//
// Failures the host's documentation gives are reported as it does: no
// running instance MK_E_UNAVAILABLE, a ProgID not registered CO_E_CLASSSTRING,
// no drawing open 0x8021003C "Failed to get the Document object". For the
// host's other refusals (MSpace without a floating viewport on, ActivePViewport
// with none, arguments out of range) the documentation gives no code: the
// simulation's own codes 0x80210050, 0x80210051, 0x80210052, 0x80210064 and
// 0x80210065 (an item erased since it was handed out) stand
// for them, and nothing should rely on their values.
#pragma once

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/HostModel.h"

namespace vantrel::sim {

using host::Application;
using host::Document;
using host::Entity;
using host::EntityCollection;
using host::EntityEnumerator;
using host::HostLocator;
using host::kModelSpace;
using host::kPaperSpace;
using host::kRegenAllViewports;
using host::kScaledRelativeToPaper;
using host::kViewportObjectName;

// Every call the host answers, by its journal name.
inline constexpr std::array<std::string_view, 18> kCallNames = {
    "Locator.GetActiveObject",  "Application.ActiveDocument",
    "Application.ZoomExtents",  "Application.ZoomScaled",
    "Document.ActiveSpace",     "Document.ActiveSpace=",
    "Document.MSpace=",         "Document.Application",
    "Document.ActivePViewport", "Document.ActivePViewport=",
    "Document.PaperSpace",      "Document.Regen",
    "PaperSpace._NewEnum",      "PaperSpace.Next",
    "Entity.ObjectName",        "Entity.CustomScale",
    "Entity.DisplayLocked",     "Entity.Display",
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
    std::string view;       // a zoom's view: "viewport N" (item N, 1-based), "sheet" or "model"
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
    bool displayLocked = false;

    friend bool operator==(const SimEntity&, const SimEntity&) = default;
};

// The sheet's view or the Model tab's: how often it was zoomed, and its
// magnification against the view the scenario starts with.
struct SimView {
    int zooms = 0;
    double magnification = 1.0;

    friend bool operator==(const SimView&, const SimView&) = default;
};

inline constexpr double kDefaultExtentsScale = 1.0 / 7.0;

struct SimDocument {
    std::string name;
    int activeSpace = kModelSpace;
    bool mspace = false;
    double extentsScale = kDefaultExtentsScale;
    std::vector<SimEntity> paperSpace;
    std::optional<std::size_t> activeViewport;  // index into paperSpace: the viewport last active
    SimView sheetView;
    SimView modelView;
    int regenCount = 0;

    friend bool operator==(const SimDocument&, const SimDocument&) = default;
};

bool IsViewport(const SimEntity& entity);
// The layout's own viewport: the first viewport of paper space.
std::optional<std::size_t> SheetViewport(const SimDocument& document);
// A viewport of paper space other than the layout's own.
bool IsFloatingViewport(const SimDocument& document, std::size_t index);

// Numbers as the scenarios, the journals and simcad's commands write them: a
// whole text as an integer, and the shortest text that gives back the exact
// double (1/48 included), whatever the locale.
template <class T>
std::optional<T> ParseInteger(std::string_view text, int base = 10) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}
std::string ExactText(double value);

// The statements a scenario and simcad's commands share: a fault,
// "CALL NUMBER MODE [DESCRIPTION...]", and a call with a duration, "CALL MS".
// Nothing when the words are not one.
std::optional<Fault> ParseFault(std::string_view words);
std::optional<std::pair<std::string, std::chrono::milliseconds>> ParseCallAndDuration(std::string_view words);

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
    // The call takes this long to answer from now on (0: at once).
    void SetSlowCall(std::string_view call, std::chrono::milliseconds delay);
    // One of the user's moves listed above; false when the text is none.
    bool ApplyUserMove(std::string_view move);
    // The host's main thread stops answering for this long from now, as in a
    // long command: a call that comes meanwhile answers only afterwards.
    void Hang(std::chrono::steady_clock::duration length);
    [[nodiscard]] const std::vector<JournalEntry>& Journal() const noexcept { return journal_; }
    void ClearJournal() noexcept { journal_.clear(); }
    // The journal as text, one "call(arguments) -> result" line a call.
    [[nodiscard]] std::string JournalText() const;

    // The host's own time: slow calls, a hang and faults for a duration
    // follow it. Real time by default (simcad); the unit tests' host thread
    // puts a simulated clock here, so that no test sleeps.
    struct Time {
        std::function<std::chrono::steady_clock::time_point()> now;
        std::function<void(std::chrono::steady_clock::duration)> pass;
    };
    Time time;

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
    // Records in the journal entry of the call just entered which view it zoomed.
    void NoteView(std::string view);

private:
    class LocatorImpl;
    std::chrono::steady_clock::time_point hungUntil_{};
    std::vector<std::pair<std::string, std::chrono::milliseconds>> slowCalls_;
    std::vector<Fault> faults_;
    std::vector<int> faultHits_;
    std::vector<std::optional<std::chrono::steady_clock::time_point>> faultStarts_;
    std::vector<JournalEntry> journal_;
    std::unique_ptr<LocatorImpl> locator_;
};

}  // namespace vantrel::sim
