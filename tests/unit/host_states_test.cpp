// The window against the drawing in every state a real drawing can be in: the
// Model tab, a layout in paper space proper, model space inside a viewport, a
// display-locked viewport, a layout without a floating viewport on. Whatever
// the state, no viewport's scale changes unless the user zooms it, and the
// sheet's and the Model tab's views are never zoomed by a scale factor. Also:
// a tick re-entering during any host call, and a busy host.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestWindow.h"
#include "base/Failure.h"

namespace {

using vantrel::host::BusyWait;
using vantrel::sim::Fault;
using vantrel::sim::FaultMode;
using vantrel::sim::JournalEntry;
using vantrel::sim::SimDocument;
using vantrel::testing::ErrorBox;
using vantrel::testing::HostState;
using vantrel::testing::kBusyBox;
using vantrel::testing::kLockedBox;
using vantrel::testing::kModelTabBox;
using vantrel::testing::kNoViewportOnBox;
using vantrel::testing::NotRunningBox;
using vantrel::testing::ShownBox;
using vantrel::testing::TestWindow;
using vantrel::ui::Event;
using vantrel::ui::EventOutcome;
using vantrel::ui::MessageAnswer;
using vantrel::ui::MessageStyle;

// Items: 1 the layout's own viewport, 2 a title-block line, 3 a viewport at
// 1/4" = 1'-0" (the one last active), 4 a note, 5 a viewport at 1/8" = 1'-0".
std::string Layout(const char* space, const char* mspace, const char* activeViewport, const char* other) {
    return std::string("document Sheet1\nspace ") + space + "\nmspace " + mspace +
           "\nviewport 1\nentity AcDbLine\nviewport 1/48 active " + activeViewport +
           "\nentity AcDbText\nviewport 1/96 " + other + "\n";
}

struct State {
    const char* name;
    std::string scenario;            // the drawing at the load
    std::vector<const char*> moves;  // the user's moves after the load, to get back into the state
};

const std::vector<State>& States() {
    static const std::vector<State> states = {
        {"ModelTab", Layout("model", "off", "on", "on"), {"model-tab"}},
        {"PaperSpaceProper", Layout("paper", "off", "on", "on"), {"leave-viewport"}},
        {"InsideAViewport", Layout("paper", "on", "on", "on"), {}},
        {"InsideALockedViewport", Layout("paper", "on", "on locked", "on"), {}},
        {"NoFloatingViewportOn", Layout("paper", "off", "off", "off"), {}},
    };
    return states;
}

constexpr double kQuarterInch = 1.0 / 48;
constexpr double kEighthInch = 1.0 / 96;
constexpr int kEighthInchRow = 11;  // Architectural

const ShownBox kQuarterInchReadout{"0.25 = 1'-0", "Vantrel", MessageStyle::Plain};
const ShownBox kMSpaceRefusedAtLoad =
    ErrorBox("Form_Load", static_cast<std::int32_t>(0x80210050u), "Invalid mode: no viewport is on");
const ShownBox kNoViewportAtReadout =
    ErrorBox("CmdGetScale_Click", static_cast<std::int32_t>(0x80210051u), "No active paper space viewport");
const ShownBox kMSpaceRefusedAtNext = ErrorBox("CmdNext_Click", static_cast<std::int32_t>(0x80210050u),
                                               "Invalid mode: the drawing is not in paper space");

struct StateCase {
    Event event;
    const char* state;
    std::vector<ShownBox> boxes;  // shown by the event itself
    double activeViewportScale;   // item 3 afterwards; the others never change
    EventOutcome outcome = EventOutcome::Running;
};

std::string Name(Event event) {
    switch (event) {
        case Event::Load:
            return "Load";
        case Event::OkClick:
            return "Ok";
        case Event::ListApply:
            return "DoubleClick";
        case Event::GetScaleClick:
            return "CurrentScale";
        case Event::NextClick:
            return "NextVPort";
        case Event::TimerTick:
            return "Tick";
        default:
            return "Other";
    }
}

const State& StateNamed(const std::string& name) {
    for (const State& state : States()) {
        if (name == state.name) return state;
    }
    throw std::logic_error("no state " + name);
}

// Puts the window into the state: loaded (unless the event is the load
// itself), the user's moves made, the Architectural row 1/8" = 1'-0" selected.
std::unique_ptr<TestWindow> Prepared(const StateCase& test) {
    const State& state = StateNamed(test.state);
    auto window = std::make_unique<TestWindow>(state.scenario);
    if (test.event != Event::Load) {
        window->form->Raise(Event::Load);
        for (const char* move : state.moves) {
            EXPECT_TRUE(window->host->ApplyUserMove(move)) << move;
        }
        window->controls.boxes.clear();
        window->controls.checkedOption = 0;
        window->controls.selectedRow = kEighthInchRow;
    }
    return window;
}

class HostStates : public ::testing::TestWithParam<StateCase> {};

TEST_P(HostStates, ChangeAViewportsScaleOnlyWhenTheUserZoomsAFloatingViewport) {
    const StateCase& test = GetParam();
    const auto prepared = Prepared(test);
    TestWindow& window = *prepared;
    const std::vector<SimDocument> before = window.host->documents;

    EXPECT_EQ(window.form->Raise(test.event), test.outcome);

    EXPECT_EQ(window.controls.boxes, test.boxes);
    const SimDocument& after = window.host->documents[0];
    for (std::size_t item = 0; item < after.paperSpace.size(); ++item) {
        const double expected = item == 2 ? test.activeViewportScale : before[0].paperSpace[item].customScale;
        EXPECT_EQ(after.paperSpace[item].customScale, expected) << "item " << item + 1;
    }
    // Only the load's zoom to the extents ever goes to the sheet, and nothing to the Model tab's view.
    EXPECT_EQ(after.sheetView.zooms, before[0].sheetView.zooms + (test.event == Event::Load ? 1 : 0));
    EXPECT_EQ(after.sheetView.magnification, 1.0);
    EXPECT_EQ(after.modelView, before[0].modelView);
    for (const auto& entry : window.host->Journal()) {
        if (entry.call == "Application.ZoomScaled") {
            EXPECT_EQ(entry.view, "viewport 3");
        }
    }
}

std::vector<StateCase> AllStateCases() {
    std::vector<StateCase> cases;
    for (const State& state : States()) {
        const std::string name = state.name;
        const bool model = name == "ModelTab";
        const bool locked = name == "InsideALockedViewport";
        const bool noneOn = name == "NoFloatingViewportOn";
        // The load never rescales a viewport; it fails only where no viewport can be entered.
        cases.push_back({Event::Load, state.name, noneOn ? std::vector{kMSpaceRefusedAtLoad} : std::vector<ShownBox>{},
                         kQuarterInch});
        // "Ok" and the double-click zoom only a floating viewport, never a locked one.
        const std::vector<ShownBox> refusal = model    ? std::vector{kModelTabBox}
                                              : locked ? std::vector{kLockedBox}
                                              : noneOn ? std::vector{kNoViewportOnBox}
                                                       : std::vector<ShownBox>{};
        const double zoomed = refusal.empty() ? kEighthInch : kQuarterInch;
        cases.push_back({Event::OkClick, state.name, refusal, zoomed,
                         refusal.empty() ? EventOutcome::Ended : EventOutcome::Running});
        cases.push_back({Event::ListApply, state.name, refusal, zoomed});
        cases.push_back({Event::GetScaleClick, state.name,
                         model ? std::vector{kNoViewportAtReadout} : std::vector{kQuarterInchReadout}, kQuarterInch});
        cases.push_back({Event::NextClick, state.name,
                         model ? std::vector{kMSpaceRefusedAtNext} : std::vector<ShownBox>{}, kQuarterInch});
        cases.push_back({Event::TimerTick, state.name, {}, kQuarterInch});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryHandler, HostStates, ::testing::ValuesIn(AllStateCases()),
                         [](const auto& test) { return Name(test.param.event) + "In" + test.param.state; });

// A tick that comes due while a host call waits (COM's modal loop, a sent
// message) replaces AcadApp and AcadDoc. Every operation holds its own
// references, so nothing in use is freed (AddressSanitizer would stop the
// run) and the outcome is the one without the tick.
class ReenteringTick : public ::testing::TestWithParam<Event> {};

TEST_P(ReenteringTick, AtEveryHostCallChangesNothingOfTheOutcome) {
    const StateCase plain{GetParam(), "InsideAViewport", {}, 0.0};
    const auto referenceWindow = Prepared(plain);
    TestWindow& reference = *referenceWindow;
    reference.host->ClearJournal();
    const EventOutcome expectedOutcome = reference.form->Raise(GetParam());
    const std::size_t calls = reference.host->Journal().size();
    ASSERT_GT(calls, 0u);
    for (std::size_t at = 0; at < calls; ++at) {
        const auto prepared = Prepared(plain);
        TestWindow& window = *prepared;
        window.host->ClearJournal();
        std::size_t seen = 0;
        int ticks = 0;
        window.host->onCall = [&](const auto&) {
            if (seen++ == at) {
                ++ticks;
                window.form->Raise(Event::TimerTick);
            }
        };
        EXPECT_EQ(window.form->Raise(GetParam()), expectedOutcome) << "tick at call " << at;
        EXPECT_EQ(ticks, 1);
        EXPECT_EQ(window.controls.boxes, reference.controls.boxes) << "tick at call " << at;
        EXPECT_EQ(window.host->documents, reference.host->documents) << "tick at call " << at;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryHandler, ReenteringTick,
                         ::testing::Values(Event::Load, Event::OkClick, Event::ListApply, Event::GetScaleClick,
                                           Event::NextClick),
                         [](const auto& test) { return Name(test.param); });

// ---- a busy host ----

struct BusyCase {
    const char* name;
    Event event;
    const char* busyCall;  // busy for the whole wait of its first call
    MessageAnswer answer;
    std::vector<ShownBox> boxesAfterTheBusyBox;
    double activeViewportScale;
    EventOutcome outcome;
};

class BusyHost : public ::testing::TestWithParam<BusyCase> {};

TEST_P(BusyHost, AsksRetryOrCancelAndIsNeverCalledNotRunning) {
    const BusyCase& test = GetParam();
    const auto prepared = Prepared({test.event, "InsideAViewport", {}, 0.0});
    TestWindow& window = *prepared;
    Fault busy;
    busy.call = test.busyCall;
    busy.number = vantrel::status::kCallRejected;
    busy.mode = FaultMode::Once;
    window.host->InjectFault(busy);
    window.controls.answers = {test.answer};

    EXPECT_EQ(window.form->Raise(test.event), test.outcome);

    std::vector<ShownBox> expected{kBusyBox};
    expected.insert(expected.end(), test.boxesAfterTheBusyBox.begin(), test.boxesAfterTheBusyBox.end());
    EXPECT_EQ(window.controls.boxes, expected);
    EXPECT_EQ(window.host->documents[0].paperSpace[2].customScale, test.activeViewportScale);
}

INSTANTIATE_TEST_SUITE_P(Actions, BusyHost,
                         ::testing::Values(BusyCase{"LoadRetried",
                                                    Event::Load,
                                                    "Application.ActiveDocument",
                                                    MessageAnswer::Retry,
                                                    {},
                                                    kQuarterInch,
                                                    EventOutcome::Running},
                                           BusyCase{"LoadCancelledEndsTheProgram",
                                                    Event::Load,
                                                    "Application.ActiveDocument",
                                                    MessageAnswer::Cancel,
                                                    {},
                                                    kQuarterInch,
                                                    EventOutcome::Ended},
                                           BusyCase{"PreparationCancelledEndsTheProgram",
                                                    Event::Load,
                                                    "Document.MSpace=",
                                                    MessageAnswer::Cancel,
                                                    {},
                                                    kQuarterInch,
                                                    EventOutcome::Ended},
                                           BusyCase{"OkRetriedZoomsOnceAndEnds",
                                                    Event::OkClick,
                                                    "Application.ZoomScaled",
                                                    MessageAnswer::Retry,
                                                    {},
                                                    kEighthInch,
                                                    EventOutcome::Ended},
                                           BusyCase{"OkCancelledZoomsNothingAndStays",
                                                    Event::OkClick,
                                                    "Document.ActiveSpace",
                                                    MessageAnswer::Cancel,
                                                    {},
                                                    kQuarterInch,
                                                    EventOutcome::Running},
                                           BusyCase{"DoubleClickCancelled",
                                                    Event::ListApply,
                                                    "Application.ZoomScaled",
                                                    MessageAnswer::Cancel,
                                                    {},
                                                    kQuarterInch,
                                                    EventOutcome::Running},
                                           BusyCase{"CurrentScaleRetried",
                                                    Event::GetScaleClick,
                                                    "Entity.CustomScale",
                                                    MessageAnswer::Retry,
                                                    {kQuarterInchReadout},
                                                    kQuarterInch,
                                                    EventOutcome::Running},
                                           BusyCase{"CurrentScaleCancelled",
                                                    Event::GetScaleClick,
                                                    "Document.ActivePViewport",
                                                    MessageAnswer::Cancel,
                                                    {},
                                                    kQuarterInch,
                                                    EventOutcome::Running},
                                           BusyCase{"NextVPortCancelled",
                                                    Event::NextClick,
                                                    "Document.PaperSpace",
                                                    MessageAnswer::Cancel,
                                                    {},
                                                    kQuarterInch,
                                                    EventOutcome::Running}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(BusyHostAtATick, KeepsTheAttachmentWithoutWaitingOrAsking) {
    const auto prepared = Prepared({Event::TimerTick, "InsideAViewport", {}, 0.0});
    TestWindow& window = *prepared;
    const auto attached = window.form->AcadDoc();
    window.host->InjectFault(Fault{.call = "Application.ActiveDocument",
                                   .number = vantrel::status::kRetryLater,
                                   .description = "busy",
                                   .mode = FaultMode::Once});
    std::vector<BusyWait> waits;
    window.host->onCall = [&](const auto& entry) {
        if (entry.call == "Application.ActiveDocument") waits.push_back(window.host->LastBusyWait());
    };
    EXPECT_EQ(window.form->Raise(Event::TimerTick), EventOutcome::Running);
    EXPECT_EQ(window.form->AcadDoc(), attached);
    EXPECT_EQ(window.form->Raise(Event::TimerTick), EventOutcome::Running);
    EXPECT_NE(window.form->AcadDoc(), attached);
    EXPECT_TRUE(window.controls.boxes.empty());
    EXPECT_EQ(waits, (std::vector<BusyWait>{BusyWait::Immediate, BusyWait::Immediate}));
    // The user's actions wait again.
    EXPECT_EQ(window.host->LastBusyWait(), BusyWait::Patient);
}

// ---- "Next VPort" when paper space loses an item while it works ----

class PaperSpaceShrinks : public ::testing::TestWithParam<std::size_t> {};

// The sheet's viewport, a line, one floating viewport: every draw names the
// floating viewport. An item erased after the pass, before the drawn viewport
// is checked, is never answered by activating something else.
TEST_P(PaperSpaceShrinks, SaysPaperSpaceChangedAndChangesNothing) {
    TestWindow window("space paper\nviewport 1\nentity AcDbLine\nviewport 0.5 off\n");
    window.form->Raise(Event::Load);  // MSpace refused: no floating viewport is on
    window.controls.boxes.clear();
    int names = 0;
    HostState atCheck;
    window.host->onCall = [&](const JournalEntry& entry) {
        if (entry.call == "Entity.ObjectName" && ++names == 4) {  // the three items, then the check
            auto& items = window.host->ActiveDocumentState().paperSpace;
            items.erase(items.begin() + static_cast<std::ptrdiff_t>(GetParam()));
            atCheck = HostState::Of(*window.host);
        }
    };
    EXPECT_EQ(window.form->Raise(Event::NextClick), EventOutcome::Running);
    ASSERT_EQ(names, 4);
    EXPECT_EQ(window.controls.boxes,
              (std::vector<ShownBox>{ErrorBox("CmdNext_Click", vantrel::status::kUnexpected,
                                              "Paper space changed while a viewport was being chosen")}));
    EXPECT_TRUE(HostState::Of(*window.host) == atCheck);
}

INSTANTIATE_TEST_SUITE_P(Items, PaperSpaceShrinks, ::testing::Values(0, 1, 2));

}  // namespace
