#include "sim/SimulatedHost.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "base/Failure.h"
#include "base/Hex.h"

namespace vantrel::sim {
bool IsViewport(const SimEntity& entity) { return entity.objectName == kViewportObjectName; }

// The sheet's own viewport: the first viewport of paper space.
std::optional<std::size_t> SheetViewport(const SimDocument& document) {
    for (std::size_t i = 0; i < document.paperSpace.size(); ++i) {
        if (IsViewport(document.paperSpace[i])) {
            return i;
        }
    }
    return std::nullopt;
}

bool IsFloatingViewport(const SimDocument& document, std::size_t index) {
    return index < document.paperSpace.size() && IsViewport(document.paperSpace[index]) &&
           SheetViewport(document) != index;
}

namespace {

// The simulation's own codes for refusals whose code the host's documentation
// does not give (see the header).
constexpr std::int32_t kHostInvalidMode = StatusCode(0x80210050);        // MSpace without a floating viewport on
constexpr std::int32_t kHostNoActiveViewport = StatusCode(0x80210051);   // ActivePViewport read
constexpr std::int32_t kHostViewportNotUsable = StatusCode(0x80210052);  // ActivePViewport write
constexpr std::int32_t kHostInvalidInput = StatusCode(0x80210064);       // an argument out of range
constexpr std::int32_t kHostObjectErased = StatusCode(0x80210065);       // an item no longer in the drawing
constexpr std::string_view kHostProgId = "AutoCAD.Application";
constexpr std::string_view kNoDocumentText = "Failed to get the Document object";

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<std::size_t> FirstFloatingViewportOn(const SimDocument& document) {
    for (std::size_t i = 0; i < document.paperSpace.size(); ++i) {
        if (IsFloatingViewport(document, i) && document.paperSpace[i].display) {
            return i;
        }
    }
    return std::nullopt;
}

// Zooms act on the current view only: the Model tab's view, the sheet in
// paper space proper, or the active floating viewport; a display-locked
// viewport passes the zoom to the sheet.
struct CurrentView {
    SimView* view = nullptr;        // the sheet's or the Model tab's
    SimEntity* viewport = nullptr;  // or the active floating viewport
    std::string name;
};

CurrentView CurrentViewOf(SimDocument& document) {
    if (document.activeSpace != kPaperSpace) {
        return {&document.modelView, nullptr, "model"};
    }
    if (document.mspace && document.activeViewport && IsFloatingViewport(document, *document.activeViewport)) {
        SimEntity& viewport = document.paperSpace[*document.activeViewport];
        if (!viewport.displayLocked) {
            return {nullptr, &viewport, "viewport " + std::to_string(*document.activeViewport + 1)};
        }
    }
    return {&document.sheetView, nullptr, "sheet"};
}

// Every object holds the host, so the drawing outlives any handle to it.
class DocumentObject;

class EntityObject : public Entity {
public:
    EntityObject(std::shared_ptr<SimulatedHost> host, std::size_t document, std::size_t index)
        : host_(std::move(host)), document_(document), index_(index) {}

    std::string ObjectName() override {
        host_->Enter("Entity.ObjectName");
        return State().objectName;
    }
    double CustomScale() override {
        host_->Enter("Entity.CustomScale");
        return Viewport().customScale;
    }
    bool DisplayLocked() override {
        host_->Enter("Entity.DisplayLocked");
        return Viewport().displayLocked;
    }
    void Display(bool on) override {
        host_->Enter("Entity.Display", on ? "true" : "false");
        Viewport().display = on;
    }

    [[nodiscard]] const SimulatedHost* Host() const noexcept { return host_.get(); }
    [[nodiscard]] std::size_t DocumentIndex() const noexcept { return document_; }
    [[nodiscard]] std::size_t Index() const noexcept { return index_; }

private:
    SimEntity& State() {
        if (document_ >= host_->documents.size()) {
            host_->Refuse(status::kDisconnected, "The object invoked has disconnected from its clients.");
        }
        if (index_ >= host_->documents[document_].paperSpace.size()) {
            host_->Refuse(kHostObjectErased, "Object was erased");
        }
        return host_->documents[document_].paperSpace[index_];
    }
    SimEntity& Viewport() {
        SimEntity& entity = State();
        if (!IsViewport(entity)) {
            host_->Refuse(status::kUnknownName, "Unknown name.");
        }
        return entity;
    }

    std::shared_ptr<SimulatedHost> host_;
    std::size_t document_;
    std::size_t index_;
};

class PaperSpaceEnumerator : public EntityEnumerator {
public:
    PaperSpaceEnumerator(std::shared_ptr<SimulatedHost> host, std::size_t document)
        : host_(std::move(host)), document_(document) {}

    std::shared_ptr<Entity> Next() override {
        if (document_ >= host_->documents.size() || next_ >= host_->documents[document_].paperSpace.size()) {
            return nullptr;
        }
        host_->Enter("PaperSpace.Next");
        return std::make_shared<EntityObject>(host_, document_, next_++);
    }

private:
    std::shared_ptr<SimulatedHost> host_;
    std::size_t document_;
    std::size_t next_ = 0;
};

class PaperSpaceObject : public EntityCollection {
public:
    PaperSpaceObject(std::shared_ptr<SimulatedHost> host, std::size_t document)
        : host_(std::move(host)), document_(document) {}

    std::unique_ptr<EntityEnumerator> Enumerate() override {
        host_->Enter("PaperSpace._NewEnum");
        return std::make_unique<PaperSpaceEnumerator>(host_, document_);
    }

private:
    std::shared_ptr<SimulatedHost> host_;
    std::size_t document_;
};

class ApplicationObject : public Application {
public:
    explicit ApplicationObject(std::shared_ptr<SimulatedHost> host) : host_(std::move(host)) {}

    std::shared_ptr<Document> ActiveDocument() override;

    void ZoomExtents() override {
        host_->Enter("Application.ZoomExtents");
        SimDocument& document = Active();
        const CurrentView current = CurrentViewOf(document);
        if (current.viewport != nullptr) {
            current.viewport->customScale = document.extentsScale;
        } else {
            current.view->zooms++;
            current.view->magnification = 1.0;
        }
        host_->NoteView(current.name);
    }

    void ZoomScaled(double scale, int scaleType) override {
        host_->Enter("Application.ZoomScaled", ExactText(scale) + ", " + std::to_string(scaleType));
        if (!(scale > 0.0) || !std::isfinite(scale) || scaleType < 0 || scaleType > kScaledRelativeToPaper) {
            host_->Refuse(kHostInvalidInput, "Invalid input");
        }
        SimDocument& document = Active();
        const CurrentView current = CurrentViewOf(document);
        if (current.viewport != nullptr) {
            // Relative to paper space the viewport shows the model at exactly
            // this scale; the other types scale what it showed.
            current.viewport->customScale =
                scaleType == kScaledRelativeToPaper ? scale : current.viewport->customScale * scale;
        } else {
            current.view->zooms++;
            current.view->magnification *= scale;
        }
        host_->NoteView(current.name);
    }

private:
    SimDocument& Active() {
        if (!host_->running) {
            host_->Refuse(status::kServerUnavailable, "The RPC server is unavailable.");
        }
        if (!host_->activeDocument || *host_->activeDocument >= host_->documents.size()) {
            host_->Refuse(status::kNoActiveDocument, std::string(kNoDocumentText));
        }
        return host_->documents[*host_->activeDocument];
    }

    std::shared_ptr<SimulatedHost> host_;
};

class DocumentObject : public Document {
public:
    DocumentObject(std::shared_ptr<SimulatedHost> host, std::size_t index) : host_(std::move(host)), index_(index) {}

    int ActiveSpace() override {
        host_->Enter("Document.ActiveSpace");
        return State().activeSpace;
    }

    void SetActiveSpace(int space) override {
        host_->Enter("Document.ActiveSpace=", std::to_string(space));
        if (space != kPaperSpace && space != kModelSpace) {
            host_->Refuse(kHostInvalidInput, "Invalid input");
        }
        // As documented, a layout comes back in the state it was left in:
        // model space inside its viewport stays on.
        State().activeSpace = space;
    }

    void SetMSpace(bool on) override {
        host_->Enter("Document.MSpace=", on ? "true" : "false");
        SimDocument& document = State();
        if (document.activeSpace != kPaperSpace) {
            host_->Refuse(kHostInvalidMode, "Invalid mode: the drawing is not in paper space");
        }
        if (!on) {
            document.mspace = false;
            return;
        }
        const bool activeUsable = document.activeViewport && IsFloatingViewport(document, *document.activeViewport) &&
                                  document.paperSpace[*document.activeViewport].display;
        if (!activeUsable) {
            const std::optional<std::size_t> floating = FirstFloatingViewportOn(document);
            if (!floating) {
                host_->Refuse(kHostInvalidMode, "Invalid mode: no viewport is on");
            }
            document.activeViewport = floating;
        }
        document.mspace = true;
    }

    std::shared_ptr<host::Application> Application() override {
        host_->Enter("Document.Application");
        State();
        return std::make_shared<ApplicationObject>(host_);
    }

    std::shared_ptr<Entity> ActivePViewport() override {
        host_->Enter("Document.ActivePViewport");
        const SimDocument& document = State();
        if (document.activeSpace != kPaperSpace || !document.activeViewport ||
            !IsFloatingViewport(document, *document.activeViewport)) {
            host_->Refuse(kHostNoActiveViewport, "No active paper space viewport");
        }
        return std::make_shared<EntityObject>(host_, index_, *document.activeViewport);
    }

    void SetActivePViewport(Entity& viewport) override {
        const auto* item = dynamic_cast<const EntityObject*>(&viewport);
        host_->Enter("Document.ActivePViewport=", item ? "item " + std::to_string(item->Index() + 1) : "foreign");
        SimDocument& document = State();
        if (item == nullptr || item->Host() != host_.get() || item->DocumentIndex() != index_ ||
            !IsFloatingViewport(document, item->Index()) || !document.paperSpace[item->Index()].display) {
            host_->Refuse(kHostViewportNotUsable, "The viewport is off or not a floating viewport of this drawing");
        }
        document.activeViewport = item->Index();
    }

    std::shared_ptr<EntityCollection> PaperSpace() override {
        host_->Enter("Document.PaperSpace");
        State();
        return std::make_shared<PaperSpaceObject>(host_, index_);
    }

    void Regen(int which) override {
        host_->Enter("Document.Regen", std::to_string(which));
        if (which != 0 && which != kRegenAllViewports) {
            host_->Refuse(kHostInvalidInput, "Invalid input");
        }
        State().regenCount++;
    }

private:
    SimDocument& State() {
        if (!host_->running) {
            host_->Refuse(status::kServerUnavailable, "The RPC server is unavailable.");
        }
        if (index_ >= host_->documents.size()) {
            host_->Refuse(status::kDisconnected, "The object invoked has disconnected from its clients.");
        }
        return host_->documents[index_];
    }

    std::shared_ptr<SimulatedHost> host_;
    std::size_t index_;
};

std::shared_ptr<Document> ApplicationObject::ActiveDocument() {
    host_->Enter("Application.ActiveDocument");
    if (!host_->running) {
        host_->Refuse(status::kServerUnavailable, "The RPC server is unavailable.");
    }
    if (!host_->activeDocument || *host_->activeDocument >= host_->documents.size()) {
        host_->Refuse(status::kNoActiveDocument, std::string(kNoDocumentText));
    }
    return std::make_shared<DocumentObject>(host_, *host_->activeDocument);
}

}  // namespace

std::string ExactText(double value) {
    std::array<char, 40> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return {buffer.data(), result.ptr};
}

class SimulatedHost::LocatorImpl : public HostLocator {
public:
    explicit LocatorImpl(SimulatedHost& host) : host_(host) {}

    std::shared_ptr<Application> GetRunningApplication(std::string_view progId) override {
        host_.Enter("Locator.GetActiveObject", std::string(progId));
        if (!EqualsNoCase(progId, kHostProgId)) {
            host_.Refuse(status::kClassString, "Invalid class string");
        }
        if (!host_.running) {
            host_.Refuse(status::kUnavailable, "Operation unavailable");
        }
        return host_.ApplicationObject();
    }

private:
    SimulatedHost& host_;
};

SimulatedHost::SimulatedHost()
    : time{[] { return std::chrono::steady_clock::now(); },
           [](std::chrono::steady_clock::duration length) { std::this_thread::sleep_for(length); }},
      locator_(std::make_unique<LocatorImpl>(*this)) {}

void SimulatedHost::Hang(std::chrono::steady_clock::duration length) { hungUntil_ = time.now() + length; }
SimulatedHost::~SimulatedHost() = default;

std::shared_ptr<SimulatedHost> SimulatedHost::Create() { return std::make_shared<SimulatedHost>(); }

SimDocument& SimulatedHost::ActiveDocumentState() {
    if (!activeDocument || *activeDocument >= documents.size()) {
        throw std::logic_error("the simulated host has no active document");
    }
    return documents[*activeDocument];
}

HostLocator& SimulatedHost::Locator() { return *locator_; }

std::shared_ptr<Application> SimulatedHost::ApplicationObject() {
    return std::make_shared<sim::ApplicationObject>(shared_from_this());
}

void SimulatedHost::InjectFault(Fault fault) {
    faults_.push_back(std::move(fault));
    faultHits_.push_back(0);
    faultStarts_.emplace_back();
}

void SimulatedHost::SetSlowCall(std::string_view call, std::chrono::milliseconds delay) {
    std::erase_if(slowCalls_, [&](const auto& slow) { return slow.first == call; });
    if (delay.count() > 0) {
        slowCalls_.emplace_back(std::string(call), delay);
    }
}

void SimulatedHost::NoteView(std::string view) {
    if (!journal_.empty()) {
        journal_.back().view = std::move(view);
    }
}

void SimulatedHost::ClearFaults() {
    faults_.clear();
    faultHits_.clear();
    faultStarts_.clear();
}

std::string SimulatedHost::JournalText() const {
    std::string text;
    for (const JournalEntry& entry : journal_) {
        text += entry.call + "(" + entry.arguments + ") -> " + (entry.result.empty() ? "ok" : entry.result) +
                (entry.view.empty() ? "" : " [" + entry.view + "]") + "\n";
    }
    return text;
}

void SimulatedHost::Enter(std::string_view call, std::string arguments) {
    journal_.push_back(JournalEntry{std::string(call), std::move(arguments), {}, {}});
    if (onCall) {
        const JournalEntry entry = journal_.back();  // onCall may clear the journal
        onCall(entry);
    }
    if (const auto now = time.now(); now < hungUntil_) {
        time.pass(hungUntil_ - now);
    }
    for (const auto& [slowCall, delay] : slowCalls_) {
        if (slowCall == call) {
            time.pass(delay);
        }
    }
    for (std::size_t i = 0; i < faults_.size(); ++i) {
        const Fault& fault = faults_[i];
        if (fault.call != call) {
            continue;
        }
        const int hits = faultHits_[i]++;
        bool fails = false;
        switch (fault.mode) {
            case FaultMode::Always:
                fails = true;
                break;
            case FaultMode::Once:
                fails = hits == 0;
                break;
            case FaultMode::AfterCalls:
                fails = hits >= fault.afterCalls;
                break;
            case FaultMode::ForDuration: {
                const auto now = time.now();
                if (!faultStarts_[i]) {
                    faultStarts_[i] = now;
                }
                fails = now - *faultStarts_[i] < fault.duration;
                break;
            }
        }
        if (fails) {
            Refuse(fault.number, fault.description);
        }
    }
}

void SimulatedHost::Refuse(std::int32_t number, std::string description) {
    if (!journal_.empty()) {
        journal_.back().result = HexStatus(number);
    }
    throw Failure(number, std::move(description));
}

}  // namespace vantrel::sim
