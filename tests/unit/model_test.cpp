// Randomised model test of the window: seeded sequences of user events, timer
// ticks and host trouble (failing calls, a busy host, a host that goes away,
// another drawing in front) against FrmMain, the simulated drawing and the
// recording controls, with the window's invariants checked after every step.
// A failure names the seed and the step, with the steps that led there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "TestWindow.h"
#include "catalog/ScaleCatalog.h"
#include "host/Failure.h"

namespace {

using vantrel::Failure;
using vantrel::StatusCode;
using vantrel::catalog::ScaleType;
using vantrel::catalog::ScaleTypeName;
using vantrel::host::simulated::Fault;
using vantrel::host::simulated::FaultMode;
using vantrel::host::simulated::JournalEntry;
using vantrel::testing::ShownBox;
using vantrel::testing::TableRows;
using vantrel::testing::TestWindow;
using vantrel::ui::Event;
using vantrel::ui::EventOutcome;
using vantrel::ui::MessageStyle;
namespace status = vantrel::status;

constexpr int kStepsPerSeed = 2500;
constexpr std::int32_t kControlFailure = StatusCode(0x800A0007);

// splitmix64: the same sequence for a seed on every compiler and library.
class Dice {
public:
    explicit Dice(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
    bool Chance(int percent) { return Below(100) < percent; }
    template <class T>
    const T& Pick(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(Below(static_cast<int>(items.size())))];
    }

private:
    std::uint64_t state_;
};

const std::vector<std::string> kHostCalls(vantrel::host::simulated::kCallNames.begin(),
                                          vantrel::host::simulated::kCallNames.end());

const std::vector<std::int32_t> kHostErrors = {StatusCode(0x80210099),     status::kDisconnected,
                                               status::kServerUnavailable, status::kCallRejected,
                                               status::kRetryLater,        status::kNoActiveDocument};

bool IsAttachCall(const std::string& call) {
    return call == "Locator.GetActiveObject" || call == "Application.ActiveDocument";
}

bool IsRefusal(const ShownBox& box) {
    return box == vantrel::testing::kModelTabBox || box == vantrel::testing::kNoViewportOnBox ||
           box == vantrel::testing::kLockedBox;
}

bool MakesHostCalls(Event event) {
    switch (event) {
        case Event::Load:
        case Event::TimerTick:
        case Event::OkClick:
        case Event::ListApply:
        case Event::GetScaleClick:
        case Event::NextClick:
            return true;
        default:
            return false;
    }
}

// Where a failure under each event may be reported.
std::set<std::string> Locations(Event event) {
    switch (event) {
        case Event::Load:
            return {"Form_Load", "Architectural"};
        case Event::OptionClick:
            return {"Architectural", "Machine", "Civil", "Metric"};
        case Event::OkClick:
            return {"CmdOK_Click"};
        case Event::ListApply:
            return {"LVscales_DblClick"};
        case Event::GetScaleClick:
            return {"CmdGetScale_Click"};
        case Event::NextClick:
            return {"CmdNext_Click"};
        case Event::TransparentClick:
            return {"ChkTransparent_Click"};
        default:
            return {};
    }
}

const char* EventName(Event event) {
    switch (event) {
        case Event::Load:
            return "Load";
        case Event::OptionClick:
            return "Option";
        case Event::OkClick:
            return "Ok";
        case Event::ExitClick:
            return "Exit";
        case Event::GetScaleClick:
            return "CurrentScale";
        case Event::NextClick:
            return "NextVPort";
        case Event::TransparentClick:
            return "Transparent";
        case Event::ListApply:
            return "ListApply";
        case Event::TimerTick:
            return "Tick";
        case Event::Close:
            return "Close";
    }
    return "?";
}

std::string Hex(std::int32_t number) {
    std::ostringstream text;
    text << std::uppercase << std::hex << static_cast<std::uint32_t>(number);
    return text.str();
}

// The "App Error" box's location, or nothing when the text is not one.
std::optional<std::string> ErrorLocation(const ShownBox& box) {
    const std::string head = "Location:\t\t";
    const auto end = box.text.find("\r\nSource:\t\t");
    if (box.title != "App Error" || box.style != MessageStyle::Critical || box.text.rfind(head, 0) != 0 ||
        end == std::string::npos) {
        return std::nullopt;
    }
    return box.text.substr(head.size(), end - head.size());
}

bool ShowsNumber(const ShownBox& box, std::int32_t number) {
    return box.text.find("\r\nSource:\t\t" + Hex(number) + "h   (" + std::to_string(number) + ")\r\nDescription:\t") !=
           std::string::npos;
}

const std::vector<std::vector<std::vector<std::string>>>& Tables() {
    static const std::vector<std::vector<std::vector<std::string>>> tables = {
        TableRows(ScaleType::Architectural), TableRows(ScaleType::Machine), TableRows(ScaleType::Civil),
        TableRows(ScaleType::Metric)};
    return tables;
}

// Rows that are one table, whole or cut short by a fill that failed: which table.
std::optional<ScaleType> PrefixOf(const std::vector<std::vector<std::string>>& rows, bool& whole) {
    for (const ScaleType type : {ScaleType::Architectural, ScaleType::Machine, ScaleType::Civil, ScaleType::Metric}) {
        const auto& table = Tables()[static_cast<std::size_t>(type)];
        if (rows.size() > table.size()) {
            continue;
        }
        bool prefix = true;
        for (std::size_t i = 0; i < rows.size() && prefix; ++i) {
            const bool last = i + 1 == rows.size();
            const auto& row = rows[i];
            prefix = last ? row.size() <= table[i].size() && std::equal(row.begin(), row.end(), table[i].begin())
                          : row == table[i];
        }
        if (prefix) {
            whole = rows == table;
            return type;
        }
    }
    return std::nullopt;
}

std::string RandomScenario(Dice& dice) {
    const std::vector<std::string> scales = {"1/48", "1/96", "0.02", "1/12", "0.5", "1/600", "1"};
    const std::vector<std::string> others = {"AcDbLine", "AcDbText", "AcDbBlockReference", "AcDbMText"};
    std::string text;
    const int documents = 1 + dice.Below(3);
    for (int d = 0; d < documents; ++d) {
        text += "document Drawing" + std::to_string(d + 1) + "\n";
        text += dice.Chance(50) ? "space paper\n" : "space model\n";
        text += "viewport 1\n";  // the sheet's own
        bool active = false;
        for (int items = dice.Below(7); items > 0; --items) {
            if (dice.Chance(50)) {
                text += "viewport " + dice.Pick(scales) + (dice.Chance(25) ? " off" : " on");
                if (!active && dice.Chance(40)) {
                    text += " active";
                    active = true;
                }
                text += "\n";
            } else {
                text += "entity " + dice.Pick(others) + "\n";
            }
        }
    }
    return text;
}

class ModelRun {
public:
    explicit ModelRun(std::uint64_t seed) : seed_(seed), dice_(seed) {}

    // Lives of the program (each from load to its end) until the steps are used.
    void Go() {
        while (steps_ < kStepsPerSeed && problem_.empty()) {
            Life();
        }
        if (!problem_.empty()) {
            std::string trail;
            for (const std::string& line : trail_) {
                trail += "  " + line + "\n";
            }
            ADD_FAILURE() << "seed " << seed_ << ", step " << steps_ << ": " << problem_ << "\nlast steps:\n" << trail;
        }
    }

private:
    void Life() {
        const std::string scenario = RandomScenario(dice_);
        TestWindow window(scenario);
        window_ = &window;
        Note("new life:\n" + scenario);
        window.controls.whileBoxOpen = [this](const ShownBox&) { TicksUnderBox(); };
        if (dice_.Chance(15)) {
            InjectHostFault();
        }
        bool ended = Step(Event::Load, 0);
        while (!ended && steps_ < kStepsPerSeed && problem_.empty()) {
            ended = RandomStep();
        }
        // The program ended, or the run is over: then the program ends as "Exit" would.
        if (!ended && problem_.empty()) {
            window.form->ReleaseHost();
        }
        if (problem_.empty() && window.host.use_count() != 1) {
            Problem("a host reference outlived the program");
        }
        window_ = nullptr;
    }

    // Returns whether the program ended.
    bool RandomStep() {
        TestWindow& w = *window_;
        const int roll = dice_.Below(100);
        if (roll < 25) {
            return Step(Event::TimerTick, 0);
        }
        if (roll < 37) {
            const int index = dice_.Chance(90) ? dice_.Below(4) : dice_.Pick(std::vector<int>{-1, 4, 7});
            if (index >= 0 && index < 4) {
                w.controls.checkedOption = index;  // the native button is checked before its click event
            }
            return Step(Event::OptionClick, index);
        }
        if (roll < 45) {
            SelectRandomRow();
            return Step(Event::ListApply, 0);
        }
        if (roll < 47) {
            SelectRandomRow();
            return Step(Event::OkClick, 0);
        }
        if (roll < 55) {
            return Step(Event::GetScaleClick, 0);
        }
        if (roll < 65) {
            return Step(Event::NextClick, 0);
        }
        if (roll < 70) {
            w.controls.transparentState =
                w.controls.transparentState == vantrel::ui::kChecked ? vantrel::ui::kCheckClear : vantrel::ui::kChecked;
            return Step(Event::TransparentClick, 0);
        }
        if (roll < 71) {
            return Step(dice_.Chance(50) ? Event::ExitClick : Event::Close, 0);
        }
        if (roll < 80) {
            InjectHostFault();
        } else if (roll < 84) {
            w.host->ClearFaults();
            Note("host faults cleared");
        } else if (roll < 86) {
            InjectControlFault();
        } else if (roll < 89) {
            ClearControlFaults();
        } else if (roll < 90) {
            w.host->running = false;
            Note("host gone");
        } else if (roll < 95) {
            const int documents = static_cast<int>(w.host->documents.size());
            if (dice_.Chance(15)) {
                w.host->activeDocument.reset();
                Note("no drawing open");
            } else {
                w.host->activeDocument = static_cast<std::size_t>(dice_.Below(documents));
                Note("drawing " + std::to_string(*w.host->activeDocument + 1) + " in front");
            }
        } else if (roll < 97) {
            EditLayout();
        } else if (roll < 98) {
            ShrinkDuringNextVPort();
        } else {
            return Step(Event::TimerTick, 0);
        }
        return false;
    }

    // The drafter edits the layout in the host: an item added or erased (never
    // the sheet's own viewport).
    static void Erase(vantrel::host::simulated::SimDocument& drawing, std::size_t item) {
        drawing.paperSpace.erase(drawing.paperSpace.begin() + static_cast<std::ptrdiff_t>(item));
        if (drawing.activeViewport == item) {
            drawing.activeViewport.reset();
            drawing.mspace = false;
        } else if (drawing.activeViewport && *drawing.activeViewport > item) {
            --*drawing.activeViewport;
        }
    }

    void EditLayout() {
        TestWindow& w = *window_;
        auto& drawing =
            w.host->documents[static_cast<std::size_t>(dice_.Below(static_cast<int>(w.host->documents.size())))];
        if (drawing.paperSpace.size() > 1 && dice_.Chance(50)) {
            const auto item =
                static_cast<std::size_t>(1 + dice_.Below(static_cast<int>(drawing.paperSpace.size()) - 1));
            Erase(drawing, item);
            Note("item " + std::to_string(item + 1) + " of " + drawing.name + " erased");
        } else {
            vantrel::host::simulated::SimEntity item;
            if (dice_.Chance(60)) {
                item.customScale = 1.0 / 48;
            } else {
                item.objectName = "AcDbLine";
            }
            drawing.paperSpace.push_back(item);
            Note(item.objectName + " added to " + drawing.name);
        }
    }

    // Between the two passes of the next "Next VPort" an item goes away.
    void ShrinkDuringNextVPort() {
        TestWindow& w = *window_;
        const auto item = dice_.Below(8);
        int passes = 0;
        w.host->onCall = [this, item, passes](const JournalEntry& entry) mutable {
            TestWindow& win = *window_;
            if (entry.call != "Document.PaperSpace" || ++passes != 2 || !win.host->activeDocument) {
                return;
            }
            auto& drawing = win.host->ActiveDocumentState();
            if (drawing.paperSpace.size() > 1) {
                Erase(drawing, 1 + static_cast<std::size_t>(item) % (drawing.paperSpace.size() - 1));
                shrunk_ = true;
            }
        };
        Note("an item goes away during the next Next VPort");
    }

    void SelectRandomRow() {
        auto& selected = window_->controls.selectedRow;
        selected = dice_.Chance(15) ? std::nullopt : std::optional<std::int32_t>(dice_.Below(14));
    }

    void InjectHostFault() {
        Fault fault;
        fault.call = dice_.Pick(kHostCalls);
        fault.number = dice_.Pick(kHostErrors);
        fault.description = "fault on " + fault.call;
        const int mode = dice_.Below(3);
        fault.mode = mode == 0 ? FaultMode::Once : mode == 1 ? FaultMode::Always : FaultMode::AfterCalls;
        fault.afterCalls = dice_.Below(6);
        window_->host->InjectFault(fault);
        Note("fault " + fault.call + " 0x" + Hex(fault.number) + " " +
             (mode == 0   ? "once"
              : mode == 1 ? "always"
                          : "after=" + std::to_string(fault.afterCalls)));
    }

    void InjectControlFault() {
        const std::string call =
            dice_.Pick(std::vector<std::string>{"AddRow", "AddSubItem", "ClearRows", "MakeTransparent"});
        const int occurrence = 1 + dice_.Below(40);
        window_->controls.FailFrom(call, occurrence, [] { throw Failure(kControlFailure, "control failed"); });
        Note("control fault " + call + " from call " + std::to_string(occurrence));
    }

    void ClearControlFaults() {
        for (const char* call : {"AddRow", "AddSubItem", "ClearRows", "MakeTransparent"}) {
            window_->controls.FailFrom(call, 1 << 30, [] {});
        }
        Note("control faults cleared");
    }

    // A modal box lets the timer through; such ticks must neither attach nor
    // open another box.
    void TicksUnderBox() {
        TestWindow& w = *window_;
        if (w.controls.openBoxes > 1) {
            Problem("two boxes open at once");
            return;  // no ticks under the second box: that would recurse without end
        }
        for (int ticks = dice_.Below(3); ticks > 0; --ticks) {
            const std::size_t calls = w.host->Journal().size();
            if (w.form->Raise(Event::TimerTick) != EventOutcome::Running) {
                Problem("a tick under an open box ended the program");
            }
            if (w.host->Journal().size() != calls) {
                Problem("a tick under an open box called the host");
            }
        }
    }

    bool Step(Event event, int index) {
        TestWindow& w = *window_;
        ++steps_;
        shrunk_ = false;
        index_ = index;
        w.host->ClearJournal();
        const std::size_t boxesBefore = w.controls.boxes.size();
        const auto rowsBefore = w.controls.rows;
        const vantrel::host::Document* documentBefore = w.form->AcadDoc().get();
        const EventOutcome outcome = w.form->Raise(event, index);
        const std::vector<ShownBox> boxes(w.controls.boxes.begin() + static_cast<std::ptrdiff_t>(boxesBefore),
                                          w.controls.boxes.end());
        Note(std::string(EventName(event)) + (event == Event::OptionClick ? " " + std::to_string(index) : "") + " -> " +
             (outcome == EventOutcome::Ended ? "ended" : "running") + ", " + std::to_string(boxes.size()) +
             " box(es), journal: " + std::to_string(w.host->Journal().size()) + " calls");
        for (const ShownBox& box : boxes) {
            Note("  box [" + box.title + "] " + box.text);
        }
        CheckBoxes(event, outcome, boxes);
        CheckHostFailure(event, outcome, boxes, documentBefore);
        CheckList(event, outcome, boxes, rowsBefore);
        CheckReferences(outcome);
        return outcome == EventOutcome::Ended;
    }

    // Never two boxes at once; every box is the error box under a location
    // its handler may report, "AutoCad Not Running" or the scale readout.
    void CheckBoxes(Event event, EventOutcome outcome, const std::vector<ShownBox>& boxes) {
        TestWindow& w = *window_;
        if (w.controls.mostOpenBoxes > 1 || w.controls.openBoxes != 0) {
            Problem("two boxes open at once");
        }
        const std::set<std::string> locations = Locations(event);
        for (const ShownBox& box : boxes) {
            if (const auto location = ErrorLocation(box)) {
                if (locations.count(*location) == 0) {
                    Problem("error box under " + *location + " for " + EventName(event));
                }
            } else if (box == vantrel::testing::NotRunningBox()) {
                if (event != Event::Load && event != Event::TimerTick) {
                    Problem("\"AutoCad Not Running\" outside the attach");
                }
                if (outcome != EventOutcome::Ended || &box != &boxes.back()) {
                    Problem("the program went on after \"AutoCad Not Running\"");
                }
            } else if (box == vantrel::testing::kBusyBox) {
                if (!MakesHostCalls(event) || event == Event::TimerTick) {
                    Problem("the busy box outside the load and the user's actions");
                }
            } else if (IsRefusal(box)) {
                if (event != Event::OkClick && event != Event::ListApply) {
                    Problem("a zoom refused outside a zoom: " + box.text);
                }
            } else if (event == Event::GetScaleClick && box.title == "Vantrel" && box.style == MessageStyle::Plain) {
                const bool feet = box.text.size() > 7 && box.text.ends_with(" = 1'-0");
                if (feet != (w.controls.checkedOption == 0) || box.text.empty()) {
                    Problem("readout does not fit the chosen scale type: " + box.text);
                }
            } else {
                Problem("unexpected box [" + box.title + "] " + box.text);
            }
        }
    }

    // A failed host call is the handler's last call, and its rule handles it.
    void CheckHostFailure(Event event, EventOutcome outcome, const std::vector<ShownBox>& boxes,
                          const vantrel::host::Document* documentBefore) {
        TestWindow& w = *window_;
        const auto& journal = w.host->Journal();
        std::vector<const JournalEntry*> failed;
        for (const JournalEntry& entry : journal) {
            if (!entry.result.empty()) {
                failed.push_back(&entry);
            }
        }
        const auto errorBoxes =
            std::count_if(boxes.begin(), boxes.end(), [](const ShownBox& box) { return ErrorLocation(box); });
        const bool notRunning = !boxes.empty() && boxes.back() == vantrel::testing::NotRunningBox();
        if (!MakesHostCalls(event)) {
            if (!journal.empty()) {
                Problem(std::string(EventName(event)) + " called the host");
            }
            // Only a failing control can fail these handlers.
            if (std::any_of(boxes.begin(), boxes.end(),
                            [](const ShownBox& box) { return !ShowsNumber(box, kControlFailure); })) {
                Problem("a box that is not the failing control's");
            }
            return;
        }
        if (failed.empty() && shrunk_ && event == Event::NextClick) {
            // Paper space changed between the passes: activated anyway, or said so.
            const ShownBox changed = vantrel::testing::ErrorBox(
                "CmdNext_Click", status::kUnexpected, "Paper space changed while a viewport was being chosen");
            if (!(boxes.empty() || (boxes.size() == 1 && boxes.front() == changed))) {
                Problem("paper space shrinking under Next VPort was not handled");
            }
            return;
        }
        if (failed.empty()) {
            const bool fillFailures = event == Event::Load && errorBoxes > 0 &&
                                      std::all_of(boxes.begin(), boxes.end(), [](const ShownBox& box) {
                                          return ErrorLocation(box) == std::optional<std::string>("Architectural");
                                      });
            if ((errorBoxes > 0 && !fillFailures) || notRunning) {
                Problem("a box without a failed host call");
            }
            const bool refused = std::any_of(boxes.begin(), boxes.end(), IsRefusal);
            if (event == Event::OkClick && (outcome == EventOutcome::Ended) == refused) {
                Problem("\"Ok\" ended the program after a refusal, or went on after its zoom");
            }
            if (event == Event::GetScaleClick && boxes.size() != 1) {
                Problem("\"Current Scale\" showed " + std::to_string(boxes.size()) + " boxes");
            }
            return;
        }
        if (failed.size() != 1 || failed.front() != &journal.back()) {
            Problem("the host was called after a failed call");
            return;
        }
        const JournalEntry& failure = *failed.front();
        const auto number = static_cast<std::int32_t>(std::stoul(failure.result, nullptr, 16));
        if (vantrel::IsBusyStatus(number) && event != Event::TimerTick) {
            // The user is asked, and cancels: nothing more, the load ends the program.
            const bool ended = outcome == EventOutcome::Ended;
            if (boxes.empty() || boxes.back() != vantrel::testing::kBusyBox || ended != (event == Event::Load)) {
                Problem("a busy host at " + failure.call + " did not ask Retry or Cancel");
            }
            return;
        }
        if (failure.call == "Document.MSpace=" && vantrel::IsHostRefusal(number) &&
            (event == Event::OkClick || event == Event::ListApply)) {
            if (boxes != std::vector<ShownBox>{vantrel::testing::kNoViewportOnBox}) {
                Problem("a refused MSpace before a zoom did not say that no viewport is on");
            }
            return;
        }
        if (IsAttachCall(failure.call)) {
            if (event == Event::TimerTick && vantrel::IsBusyStatus(number)) {
                if (!boxes.empty() || outcome != EventOutcome::Running || w.form->AcadDoc().get() != documentBefore) {
                    Problem("a busy host at a tick did not keep the attachment quietly");
                }
            } else if (!notRunning || boxes.size() != 1 || outcome != EventOutcome::Ended) {
                Problem("a failed attach did not end through \"AutoCad Not Running\"");
            }
            return;
        }
        const std::string location = event == Event::Load ? "Form_Load" : *Locations(event).begin();
        const bool reported = std::any_of(boxes.begin(), boxes.end(), [&](const ShownBox& box) {
            return ErrorLocation(box) == location && ShowsNumber(box, number);
        });
        if (!reported || outcome != EventOutcome::Running) {
            Problem("failed " + failure.call + " (" + failure.result + ") not reported under " + location);
        }
    }

    // The list holds one whole table, or the rows of a fill that failed part-way.
    void CheckList(Event event, EventOutcome outcome, const std::vector<ShownBox>& boxes,
                   const std::vector<std::vector<std::string>>& rowsBefore) {
        TestWindow& w = *window_;
        if (w.controls.rowChangesOpen || w.controls.rowChangesOutsideBrackets != 0 ||
            w.controls.boxesWhileRowChangesOpen != 0) {
            Problem("the list was changed outside a fill's bracket, or left not drawing");
        }
        const auto& rows = w.controls.rows;
        bool whole = false;
        const std::optional<ScaleType> table = PrefixOf(rows, whole);
        if (!table) {
            Problem("the list holds rows of no table");
            return;
        }
        if (rows == rowsBefore || (whole && !rows.empty())) {
            // An index outside the four changes nothing, whatever a failed fill left.
            if (event == Event::OptionClick && outcome == EventOutcome::Running && boxes.empty() &&
                w.controls.checkedOption == index_ && static_cast<int>(*table) != index_ && !rows.empty()) {
                Problem("the list does not hold the chosen table");
            }
            return;
        }
        // Cut short in this step: a fill of that table failed and said so.
        const std::string name(ScaleTypeName(*table));
        const bool said = std::any_of(boxes.begin(), boxes.end(), [&](const ShownBox& box) {
            const auto location = ErrorLocation(box);
            return location && (rows.empty() ? Locations(Event::OptionClick).count(*location) > 0 : *location == name);
        });
        if (!said) {
            Problem("the list was left part-filled without a report");
        }
    }

    void CheckReferences(EventOutcome outcome) {
        TestWindow& w = *window_;
        const long held = 1 + (w.form->AcadApp() ? 1 : 0) + (w.form->AcadDoc() ? 1 : 0);
        if (w.host.use_count() != held) {
            Problem("host objects held beyond AcadApp and AcadDoc: " + std::to_string(w.host.use_count()));
        }
        if (outcome == EventOutcome::Ended && (w.form->AcadApp() || w.form->AcadDoc())) {
            Problem("the host references were not released at the end");
        }
    }

    void Note(std::string line) {
        trail_.push_back("#" + std::to_string(steps_) + " " + std::move(line));
        if (trail_.size() > 40) {
            trail_.pop_front();
        }
    }

    void Problem(const std::string& what) {
        if (problem_.empty()) {
            problem_ = what;
        }
    }

    std::uint64_t seed_;
    Dice dice_;
    TestWindow* window_ = nullptr;
    int steps_ = 0;
    int index_ = 0;        // the option index of the step
    bool shrunk_ = false;  // paper space lost an item during this step
    std::string problem_;
    std::deque<std::string> trail_;
};

class WindowModel : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(WindowModel, KeepsItsInvariantsUnderRandomEventsAndFaults) { ModelRun(GetParam()).Go(); }

INSTANTIATE_TEST_SUITE_P(Seeds, WindowModel, ::testing::Values(1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144, 233),
                         [](const auto& test) { return "Seed" + std::to_string(test.param); });

}  // namespace
