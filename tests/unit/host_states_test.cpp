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

// The drawing's mode: ActiveSpace (0 paper, 1 model), MSpace, and the item
// of the viewport last active.
struct Mode {
    int activeSpace;
    bool mspace;
    std::size_t activeItem;
    friend bool operator==(const Mode&, const Mode&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Mode& mode) {
        return out << "space " << mode.activeSpace << " mspace " << mode.mspace << " item " << mode.activeItem;
    }
};

constexpr Mode kInsideTheQuarterInchViewport{0, true, 3};
constexpr Mode kInsideTheEighthInchViewport{0, true, 5};

struct State {
    const char* name;
    std::string scenario;  // the drawing at the load
    const char* move;      // the user's move after the load, to get back into the state
    Mode mode;             // the state's mode
};

const State kStates[] = {
    {"ModelTab", Layout("model", "on", "on", "on"), "model-tab", {1, true, 3}},  // the layout left inside its viewport
    {"PaperSpaceProper", Layout("paper", "off", "on", "on"), "leave-viewport", {0, false, 3}},
    {"InsideAViewport", Layout("paper", "on", "on", "on"), nullptr, {0, true, 3}},
    {"InsideALockedViewport", Layout("paper", "on", "on locked", "on"), nullptr, {0, true, 3}},
    {"NoFloatingViewportOn", Layout("paper", "off", "off", "off"), nullptr, {0, false, 3}},
};

constexpr double kQuarterInch = 1.0 / 48;
constexpr double kEighthInch = 1.0 / 96;

struct StateCase {
    Event event;
    const State* state;
    std::vector<ShownBox> boxes;  // shown by the event itself
    double activeViewportScale;   // item 3 afterwards; the others never change
    Mode mode;                    // the drawing's mode afterwards
    std::size_t calls;            // the host calls the event made
    bool ends = false;
};

// The window in the state: loaded (unless the event is the load itself), the
// user's move made, Architectural chosen and its row 1/8" = 1'-0" selected.
std::unique_ptr<TestWindow> Prepared(Event event, const State& state) {
    auto window = std::make_unique<TestWindow>(state.scenario);
    if (event != Event::Load) {
        window->Loaded();
        if (state.move != nullptr) {
            const bool moved = window->host->ApplyUserMove(state.move);
            EXPECT_TRUE(moved) << state.move;
        }
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

    window->RaiseAlone(test.event);
    EXPECT_EQ(window->Ended(), test.ends);
    EXPECT_EQ(window->host->Journal().size(), test.calls) << window->host->JournalText();

    EXPECT_EQ(window->controls.boxes, test.boxes);
    const sim::SimDocument& after = window->host->documents[0];
    for (std::size_t item = 0; item < after.paperSpace.size(); ++item) {
        const double expected = item == 2 ? test.activeViewportScale : before.paperSpace[item].customScale;
        EXPECT_EQ(after.paperSpace[item].customScale, expected) << "item " << item + 1;
    }
    // Only the load's zoom to the extents ever goes to the sheet, and nothing to the Model tab's view.
    const int sheetZooms = test.event == Event::Load ? 1 : 0;
    EXPECT_EQ(after.sheetView.zooms, before.sheetView.zooms + sheetZooms);
    EXPECT_EQ(after.modelView, before.modelView);
    const Mode mode{after.activeSpace, after.mspace, after.activeViewport.value_or(99) + 1};
    EXPECT_EQ(mode, test.mode);
}

std::vector<StateCase> AllStateCases() {
    const ShownBox readout{"0.25 = 1'-0"};
    std::vector<StateCase> cases;
    for (const State& state : kStates) {
        const std::string name = state.name;
        const bool model = name == "ModelTab";
        const bool noneOn = name == "NoFloatingViewportOn";
        // The load never rescales a viewport; it fails only where no viewport
        // can be entered. It writes ActiveSpace only on the Model tab.
        cases.push_back(
            {Event::Load, &state,
             noneOn ? std::vector{ErrorBox("Form_Load", StatusCode(0x80210050), "Invalid mode: no viewport is on")}
                    : std::vector<ShownBox>{},
             kQuarterInch, noneOn ? state.mode : kInsideTheQuarterInchViewport, model ? 8U : 7U});
        // "Ok" and the double-click zoom only a floating viewport, never a
        // locked one; the Model tab is refused before a viewport is asked.
        std::vector<ShownBox> refusal;
        std::size_t zoomCalls = 6;
        if (model) {
            refusal = {kModelTabBox};
            zoomCalls = 1;
        } else if (name == "InsideALockedViewport") {
            refusal = {kLockedBox};
            zoomCalls = 4;
        } else if (noneOn) {
            refusal = {kNoViewportOnBox};
            zoomCalls = 2;
        }
        const bool zooms = refusal.empty();
        const double zoomed = zooms ? kEighthInch : kQuarterInch;
        const Mode zoomMode = zooms ? kInsideTheQuarterInchViewport : state.mode;
        cases.push_back({Event::OkClick, &state, refusal, zoomed, zoomMode, zoomCalls, zooms});
        cases.push_back({Event::RowApplied, &state, refusal, zoomed, zoomMode, zoomCalls});
        cases.push_back({Event::CurrentScaleClick, &state,
                         model ? std::vector{ErrorBox("CmdGetScale_Click", StatusCode(0x80210051),
                                                      "No active paper space viewport")}
                               : std::vector{readout},
                         kQuarterInch, state.mode, model ? 1U : 2U});
        // "Next VPort" walks the five items; the first draw is item 5.
        cases.push_back({Event::NextViewportClick, &state,
                         model ? std::vector{ErrorBox("CmdNext_Click", StatusCode(0x80210050),
                                                      "Invalid mode: the drawing is not in paper space")}
                               : std::vector<ShownBox>{},
                         kQuarterInch, model ? state.mode : kInsideTheEighthInchViewport, model ? 15U : 17U});
        cases.push_back({Event::TimerTick, &state, {}, kQuarterInch, state.mode, 2});
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
    reference->RaiseAlone(GetParam());
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
        window->RaiseAlone(GetParam());
        EXPECT_EQ(window->Ended(), reference->Ended()) << "tick at call " << at;
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
