// The window against the drawing in every state a real drawing can be in: the
// Model tab, a layout in paper space proper, model space inside a viewport, a
// display-locked viewport, a layout without a floating viewport on. Whatever
// the state, no viewport's scale changes unless the user zooms it, and the
// sheet's and the Model tab's views are never zoomed by a scale factor. Also:
// a tick re-entering during any host call.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Harness.h"
#include "base/Failure.h"

namespace vantrel::testing {
namespace {

// Items: 1 the layout's own viewport, 2 a title-block line, 3 a viewport at
// 1/4" = 1'-0" (the one last active), 4 a note, 5 a viewport at 1/8" = 1'-0".
std::string Layout(const char* space, const char* mspace, const char* activeViewport, const char* other) {
    return std::string("document Sheet1\nspace ") + space + "\nmspace " + mspace +
           "\nviewport 1\nentity AcDbLine\nviewport 1/48 active " + activeViewport +
           "\nentity AcDbText\nviewport 1/96 " + other + "\n";
}

struct State {
    const char* name;
    std::string scenario;  // the drawing at the load
    const char* move;      // the user's move after the load, to get back into the state
};

const State kStates[] = {
    {"ModelTab", Layout("model", "on", "on", "on"), "model-tab"},  // the layout left inside its viewport
    {"PaperSpaceProper", Layout("paper", "off", "on", "on"), "leave-viewport"},
    {"InsideAViewport", Layout("paper", "on", "on", "on"), nullptr},
    {"InsideALockedViewport", Layout("paper", "on", "on locked", "on"), nullptr},
    {"NoFloatingViewportOn", Layout("paper", "off", "off", "off"), nullptr},
};

constexpr double kQuarterInch = 1.0 / 48;
constexpr double kEighthInch = 1.0 / 96;

struct StateCase {
    Event event;
    const State* state;
    std::vector<ShownBox> boxes;  // shown by the event itself
    double activeViewportScale;   // item 3 afterwards; the others never change
    EventOutcome outcome = EventOutcome::Running;
};

// The window in the state: loaded (unless the event is the load itself), the
// user's move made, Architectural chosen and its row 1/8" = 1'-0" selected.
std::unique_ptr<TestWindow> Prepared(Event event, const State& state) {
    auto window = std::make_unique<TestWindow>(state.scenario);
    if (event != Event::Load) {
        window->Loaded();
        EXPECT_TRUE(!state.move || window->host->ApplyUserMove(state.move)) << state.move;
        window->RaiseAlone(Event::ScaleSystemChosen, 0);
        window->controls.selectedRow = 11;
    }
    return window;
}

class HostStates : public ::testing::TestWithParam<StateCase> {};

TEST_P(HostStates, ChangeAViewportsScaleOnlyWhenTheUserZoomsAFloatingViewport) {
    const StateCase& test = GetParam();
    const auto window = Prepared(test.event, *test.state);
    const sim::SimDocument before = window->host->documents[0];

    EXPECT_EQ(window->RaiseAlone(test.event), test.outcome);

    EXPECT_EQ(window->controls.boxes, test.boxes);
    const sim::SimDocument& after = window->host->documents[0];
    for (std::size_t item = 0; item < after.paperSpace.size(); ++item) {
        const double expected = item == 2 ? test.activeViewportScale : before.paperSpace[item].customScale;
        EXPECT_EQ(after.paperSpace[item].customScale, expected) << "item " << item + 1;
    }
    // Only the load's zoom to the extents ever goes to the sheet, and nothing to the Model tab's view.
    EXPECT_EQ(after.sheetView.zooms, before.sheetView.zooms + (test.event == Event::Load ? 1 : 0));
    EXPECT_EQ(after.modelView, before.modelView);
}

std::vector<StateCase> AllStateCases() {
    const ShownBox readout{"0.25 = 1'-0"};
    std::vector<StateCase> cases;
    for (const State& state : kStates) {
        const std::string name = state.name;
        const bool model = name == "ModelTab";
        const bool noneOn = name == "NoFloatingViewportOn";
        // The load never rescales a viewport; it fails only where no viewport can be entered.
        cases.push_back(
            {Event::Load, &state,
             noneOn ? std::vector{ErrorBox("Form_Load", StatusCode(0x80210050), "Invalid mode: no viewport is on")}
                    : std::vector<ShownBox>{},
             kQuarterInch});
        // "Ok" and the double-click zoom only a floating viewport, never a locked one.
        const std::vector<ShownBox> refusal = model                             ? std::vector{kModelTabBox}
                                              : name == "InsideALockedViewport" ? std::vector{kLockedBox}
                                              : noneOn                          ? std::vector{kNoViewportOnBox}
                                                                                : std::vector<ShownBox>{};
        const double zoomed = refusal.empty() ? kEighthInch : kQuarterInch;
        cases.push_back(
            {Event::OkClick, &state, refusal, zoomed, refusal.empty() ? EventOutcome::Ended : EventOutcome::Running});
        cases.push_back({Event::RowApplied, &state, refusal, zoomed});
        cases.push_back({Event::CurrentScaleClick, &state,
                         model ? std::vector{ErrorBox("CmdGetScale_Click", StatusCode(0x80210051),
                                                      "No active paper space viewport")}
                               : std::vector{readout},
                         kQuarterInch});
        cases.push_back({Event::NextViewportClick, &state,
                         model ? std::vector{ErrorBox("CmdNext_Click", StatusCode(0x80210050),
                                                      "Invalid mode: the drawing is not in paper space")}
                               : std::vector<ShownBox>{},
                         kQuarterInch});
        cases.push_back({Event::TimerTick, &state, {}, kQuarterInch});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryHandler, HostStates, ::testing::ValuesIn(AllStateCases()), [](const auto& test) {
    return std::string(HandlerOf(test.param.event).name) + "In" + test.param.state->name;
});

// A tick that comes due while an action waits on a host call (the window
// keeps dispatching its messages) is skipped: it asks the host nothing, and
// the outcome is the one without the tick.
class ReenteringTick : public ::testing::TestWithParam<Event> {};

TEST_P(ReenteringTick, AtEveryHostCallChangesNothingOfTheOutcome) {
    const State& state = kStates[2];
    const auto reference = Prepared(GetParam(), state);  // the journal holds the event's calls only
    const EventOutcome expectedOutcome = reference->RaiseAlone(GetParam());
    const std::size_t calls = reference->host->Journal().size();
    ASSERT_GT(calls, 0u);
    for (std::size_t at = 0; at < calls; ++at) {
        const auto window = Prepared(GetParam(), state);
        std::size_t seen = 0;
        int ticks = 0;
        window->host->onCall = [&](const auto&) {
            if (seen++ == at) {
                window->RaiseAlone(Event::TimerTick);
                ++ticks;
            }
        };
        EXPECT_EQ(window->RaiseAlone(GetParam()), expectedOutcome) << "tick at call " << at;
        EXPECT_EQ(ticks, 1);
        EXPECT_EQ(window->controls.boxes, reference->controls.boxes) << "tick at call " << at;
        EXPECT_EQ(window->host->documents, reference->host->documents) << "tick at call " << at;
        EXPECT_EQ(window->host->JournalText(), reference->host->JournalText()) << "tick at call " << at;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryHandler, ReenteringTick,
                         ::testing::Values(Event::Load, Event::OkClick, Event::RowApplied, Event::CurrentScaleClick,
                                           Event::NextViewportClick),
                         [](const auto& test) { return std::string(HandlerOf(test.param).name); });

}  // namespace
}  // namespace vantrel::testing
