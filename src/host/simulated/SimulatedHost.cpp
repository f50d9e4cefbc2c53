#include "host/simulated/SimulatedHost.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "host/Failure.h"

namespace vantrel::host::simulated {
namespace {

// The simulation's own codes for refusals whose code the host's documentation
// does not give (see the header).
constexpr std::int32_t kHostInvalidMode = StatusCode(0x80210050);        // MSpace without a floating viewport on
constexpr std::int32_t kHostNoActiveViewport = StatusCode(0x80210051);   // ActivePViewport read
constexpr std::int32_t kHostViewportNotUsable = StatusCode(0x80210052);  // ActivePViewport write
constexpr std::int32_t kHostInvalidInput = StatusCode(0x80210064);       // an argument out of range
constexpr std::int32_t kHostObjectErased = StatusCode(0x80210065);       // an item no longer in the drawing
constexpr std::string_view kHostProgId = "autocad.application";
constexpr std::string_view kNoDocumentText = "Failed to get the Document object";

std::string Number(double value) {
    // The shortest text that gives back the exact double (1/48 included), in
    // any locale of the program serving the host.
    std::array<char, 40> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return {buffer.data(), result.ptr};
}

std::string Hex(std::int32_t number) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08" PRIX32, static_cast<std::uint32_t>(number));
    return buffer;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

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
        host_->Enter("Application.ZoomScaled", Number(scale) + ", " + std::to_string(scaleType));
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
        SimDocument& document = State();
        document.activeSpace = space;
        if (!document.switchKeepsMSpace) {
            document.mspace = false;
        }
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

// ---- scenario text ----

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Splits off the first word of `rest`.
std::string_view NextWord(std::string_view& rest) {
    rest = Trim(rest);
    const auto end = rest.find_first_of(" \t");
    const std::string_view word = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : Trim(rest.substr(end));
    return word;
}

template <class T>
std::optional<T> ParseInteger(std::string_view text, int base = 10) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> ParseDecimal(std::string_view text) {
    // Scenario decimals always use '.', whatever the locale.
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> ParseScale(std::string_view text) {
    std::optional<double> value;
    if (const auto slash = text.find('/'); slash != std::string_view::npos) {
        const std::optional<double> n = ParseDecimal(text.substr(0, slash));
        const std::optional<double> d = ParseDecimal(text.substr(slash + 1));
        if (n && d && *d != 0.0) {
            value = *n / *d;
        }
    } else {
        value = ParseDecimal(text);
    }
    if (!value || !std::isfinite(*value) || !(*value > 0.0)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int32_t> ParseStatus(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        if (const auto bits = ParseInteger<std::uint32_t>(text.substr(2), 16)) {
            return StatusCode(*bits);
        }
        return std::nullopt;
    }
    return ParseInteger<std::int32_t>(text);
}

[[noreturn]] void Malformed(std::size_t line, std::string_view what) {
    throw std::invalid_argument("scenario line " + std::to_string(line) + ": " + std::string(what));
}

}  // namespace

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

    void SetBusyWait(BusyWait wait) override { host_.busyWait_ = wait; }

private:
    SimulatedHost& host_;
};

SimulatedHost::SimulatedHost() : locator_(std::make_unique<LocatorImpl>(*this)) {}
SimulatedHost::~SimulatedHost() = default;

std::shared_ptr<SimulatedHost> SimulatedHost::Create() { return std::make_shared<SimulatedHost>(); }

std::shared_ptr<SimulatedHost> SimulatedHost::FromScenario(std::string_view text) {
    std::shared_ptr<SimulatedHost> host = Create();
    bool noDocument = false;
    std::size_t lineNumber = 0;
    const auto current = [&]() -> SimDocument& {
        if (host->documents.empty()) {
            SimDocument document;
            document.name = "Drawing1";
            host->documents.push_back(std::move(document));
        }
        return host->documents.back();
    };
    while (!text.empty()) {
        ++lineNumber;
        const auto newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
        if (const auto hash = line.find('#'); hash != std::string_view::npos) {
            line = line.substr(0, hash);
        }
        std::string_view rest = Trim(line);
        if (rest.empty()) {
            continue;
        }
        const std::string_view keyword = NextWord(rest);
        if (keyword == "document") {
            const std::string_view name = NextWord(rest);
            if (name.empty() || !rest.empty()) {
                Malformed(lineNumber, "document takes one name");
            }
            SimDocument document;
            document.name = std::string(name);
            host->documents.push_back(std::move(document));
        } else if (keyword == "space") {
            const std::string_view space = NextWord(rest);
            if (!rest.empty() || (space != "paper" && space != "model")) {
                Malformed(lineNumber, "space takes paper or model");
            }
            current().activeSpace = space == "paper" ? kPaperSpace : kModelSpace;
        } else if (keyword == "mspace") {
            const std::string_view state = NextWord(rest);
            if (!rest.empty() || (state != "on" && state != "off")) {
                Malformed(lineNumber, "mspace takes on or off");
            }
            current().mspace = state == "on";
        } else if (keyword == "mspace-on-switch") {
            const std::string_view state = NextWord(rest);
            if (!rest.empty() || (state != "kept" && state != "cleared")) {
                Malformed(lineNumber, "mspace-on-switch takes kept or cleared");
            }
            current().switchKeepsMSpace = state == "kept";
        } else if (keyword == "extents") {
            const std::optional<double> scale = ParseScale(NextWord(rest));
            if (!scale || !rest.empty()) {
                Malformed(lineNumber, "extents needs a positive scale (decimal or N/D)");
            }
            current().extentsScale = *scale;
        } else if (keyword == "viewport") {
            const std::optional<double> scale = ParseScale(NextWord(rest));
            if (!scale) {
                Malformed(lineNumber, "viewport needs a positive scale (decimal or N/D)");
            }
            SimEntity viewport;
            viewport.customScale = *scale;
            bool active = false;
            bool stateGiven = false;
            while (!rest.empty()) {
                const std::string_view flag = NextWord(rest);
                if ((flag == "on" || flag == "off") && !stateGiven) {
                    viewport.display = flag == "on";
                    stateGiven = true;
                } else if (flag == "active" && !active) {
                    active = true;
                } else if (flag == "locked" && !viewport.displayLocked) {
                    viewport.displayLocked = true;
                } else {
                    Malformed(lineNumber, "viewport takes SCALE [on|off] [active] [locked]");
                }
            }
            SimDocument& document = current();
            document.paperSpace.push_back(viewport);
            if (active) {
                document.activeViewport = document.paperSpace.size() - 1;
            }
        } else if (keyword == "entity") {
            const std::string_view name = NextWord(rest);
            if (name.empty() || !rest.empty()) {
                Malformed(lineNumber, "entity takes one object name");
            }
            current().paperSpace.push_back(
                SimEntity{.objectName = std::string(name), .customScale = 1.0, .display = true});
        } else if (keyword == "fail") {
            Fault fault;
            fault.call = std::string(NextWord(rest));
            if (!IsCallName(fault.call)) {
                Malformed(lineNumber, "fail needs a call the host answers, such as Document.MSpace=");
            }
            const std::optional<std::int32_t> number = ParseStatus(NextWord(rest));
            if (!number) {
                Malformed(lineNumber, "fail needs a number (decimal or 0x hex)");
            }
            fault.number = *number;
            const std::string_view mode = NextWord(rest);
            if (mode == "always") {
                fault.mode = FaultMode::Always;
            } else if (mode == "once") {
                fault.mode = FaultMode::Once;
            } else if (mode.starts_with("after=")) {
                const auto n = ParseInteger<int>(mode.substr(6));
                if (!n || *n < 0) {
                    Malformed(lineNumber, "after=N needs a count of 0 or more");
                }
                fault.mode = FaultMode::AfterCalls;
                fault.afterCalls = *n;
            } else if (mode.starts_with("for=")) {
                const auto ms = ParseInteger<std::int64_t>(mode.substr(4));
                if (!ms || *ms < 0) {
                    Malformed(lineNumber, "for=MS needs milliseconds of 0 or more");
                }
                fault.mode = FaultMode::ForDuration;
                fault.duration = std::chrono::milliseconds(*ms);
            } else {
                Malformed(lineNumber, "fail mode is always, once, after=N or for=MS");
            }
            fault.description = std::string(rest);
            host->InjectFault(std::move(fault));
        } else if (keyword == "slow") {
            const std::string_view call = NextWord(rest);
            const auto ms = ParseInteger<std::int64_t>(NextWord(rest));
            if (!IsCallName(call) || !ms || *ms < 0 || !rest.empty()) {
                Malformed(lineNumber, "slow takes a call the host answers and milliseconds");
            }
            host->SetSlowCall(call, std::chrono::milliseconds(*ms));
        } else if (keyword == "notrunning" && rest.empty()) {
            host->running = false;
        } else if (keyword == "nodocument" && rest.empty()) {
            noDocument = true;
        } else {
            Malformed(lineNumber, "unknown statement '" + std::string(keyword) + "'");
        }
    }
    if (!noDocument && !host->documents.empty()) {
        host->activeDocument = 0;
    }
    return host;
}

SimDocument& SimulatedHost::ActiveDocumentState() {
    if (!activeDocument || *activeDocument >= documents.size()) {
        throw std::logic_error("the simulated host has no active document");
    }
    return documents[*activeDocument];
}

HostLocator& SimulatedHost::Locator() { return *locator_; }

std::shared_ptr<Application> SimulatedHost::ApplicationObject() {
    return std::make_shared<simulated::ApplicationObject>(shared_from_this());
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

bool SimulatedHost::ApplyUserMove(std::string_view move) {
    if (!activeDocument || *activeDocument >= documents.size()) {
        return false;
    }
    SimDocument& document = documents[*activeDocument];
    std::string_view rest = move;
    const std::string_view verb = NextWord(rest);
    if ((verb == "lock" || verb == "unlock")) {
        const auto item = ParseInteger<std::size_t>(NextWord(rest));
        if (!item || *item == 0 || *item > document.paperSpace.size() || !rest.empty() ||
            !IsViewport(document.paperSpace[*item - 1])) {
            return false;
        }
        document.paperSpace[*item - 1].displayLocked = verb == "lock";
        return true;
    }
    if (!rest.empty()) {
        return false;
    }
    if (verb == "leave-viewport") {
        document.mspace = false;
    } else if (verb == "enter-viewport") {
        if (document.activeSpace != kPaperSpace || !document.activeViewport ||
            !IsFloatingViewport(document, *document.activeViewport)) {
            return false;
        }
        document.mspace = true;
    } else if (verb == "model-tab" || verb == "layout") {
        document.activeSpace = verb == "layout" ? kPaperSpace : kModelSpace;
    } else {
        return false;
    }
    return true;
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
    for (const auto& [slowCall, delay] : slowCalls_) {
        if (slowCall == call) {
            std::this_thread::sleep_for(delay);
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
                const auto now = std::chrono::steady_clock::now();
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
        journal_.back().result = Hex(number);
    }
    throw Failure(number, std::move(description));
}

}  // namespace vantrel::host::simulated
