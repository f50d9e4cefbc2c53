// The window's own behaviour over the simulated drawing: the list and the
// options, the end, transparency, host actions before any attach, the tick's
// attach, and failures of the window's own controls.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "Harness.h"
#include "base/Failure.h"
#include "catalog/ScaleCatalog.h"

namespace vantrel::testing {
namespace {

using ui::NativeWindow;

constexpr std::int32_t kInjected = StatusCode(0x80210099);
const Failure kInjectedFailure(kInjected, "Injected failure");

std::vector<std::vector<std::string>> TableRows(int type) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : catalog::kScaleSystems[static_cast<std::size_t>(type)].rows) {
        const catalog::RowTexts texts = row.Texts();
        rows.emplace_back(texts.begin(), texts.end());
    }
    return rows;
}

// The load prepares the drawing and lists Architectural, drawn once after the
// fill; the options replace the list without asking the host, other indexes
// change nothing; with nothing selected "Ok" zooms nothing and ends.
TEST(Load, ListsArchitecturalAndTheOptionsTheirTables) {
    TestWindow window;
    EXPECT_EQ(window.RaiseAlone(Event::Load), EventOutcome::Running);
    EXPECT_EQ(window.controls.rows, TableRows(0));
    EXPECT_EQ(window.controls.checkedOption, 0);
    EXPECT_TRUE(window.controls.rowChangesOutsideBrackets == 0 && !window.controls.rowChangesOpen);
    const auto& drawing = window.host->ActiveDocumentState();
    EXPECT_TRUE(drawing.activeSpace == 0 && drawing.mspace);
    window.host->ClearJournal();
    for (const int index : {1, 2, 3, 3, 0, 4, -1, 70000}) {
        EXPECT_EQ(window.RaiseAlone(Event::ScaleSystemChosen, index), EventOutcome::Running);
        EXPECT_EQ(window.controls.rows, TableRows(index >= 0 && index < 4 ? index : 0)) << index;
    }
    EXPECT_EQ(window.RaiseAlone(Event::RowApplied), EventOutcome::Running);
    EXPECT_EQ(window.RaiseAlone(Event::OkClick), EventOutcome::Ended);
    EXPECT_TRUE(window.host->Journal().empty() && window.controls.boxes.empty());
    // A failed preparation still leaves a window whose options fill the list.
    TestWindow unprepared("space paper\nviewport 1\n");
    EXPECT_EQ(unprepared.RaiseAlone(Event::Load), EventOutcome::Running);
    EXPECT_TRUE(unprepared.controls.rows.empty());
    unprepared.RaiseAlone(Event::ScaleSystemChosen, 3);
    EXPECT_EQ(unprepared.controls.rows, TableRows(3));
}

TEST(EndAndTransparency, EndAtOnceAndSetTheWindowThenTheListWithoutTheHost) {
    using Opacity = std::vector<std::pair<NativeWindow, std::uint8_t>>;
    const Opacity opaque{{NativeWindow::Main, 255}, {NativeWindow::List, 255}};
    for (const auto& [state, opacity] :
         {std::pair{ui::kChecked, Opacity{{NativeWindow::Main, 186}, {NativeWindow::List, 100}}},
          {ui::kCheckClear, opaque},
          {2, opaque}}) {
        TestWindow window;
        window.Loaded();
        window.controls.transparentState = state;
        EXPECT_EQ(window.RaiseAlone(Event::TransparentClick), EventOutcome::Running);
        EXPECT_EQ(window.controls.opacity, opacity);
        EXPECT_EQ(window.RaiseAlone(state == 2 ? Event::Close : Event::ExitClick), EventOutcome::Ended);
        EXPECT_TRUE(window.host->Journal().empty() && window.controls.boxes.empty());
    }
    // A failure on the way is shown under the handler, and the program goes on.
    TestWindow window;
    window.Loaded();
    window.controls.transparentState = ui::kChecked;
    window.controls.FailFrom("MakeTransparent", 2, [] { throw kInjectedFailure; });
    EXPECT_EQ(window.RaiseAlone(Event::TransparentClick), EventOutcome::Running);
    EXPECT_EQ(window.controls.boxes,
              (std::vector<ShownBox>{ErrorBox("ChkTransparent_Click", kInjected, "Injected failure")}));
    EXPECT_EQ(window.controls.opacity.size(), 1u);
}

TEST(NeverAttached, EveryHostActionFailsWith91InsteadOfCrashing) {
    for (const Event event : {Event::CurrentScaleClick, Event::NextViewportClick, Event::OkClick, Event::RowApplied}) {
        TestWindow window;
        window.RaiseAlone(Event::ScaleSystemChosen, 0);
        window.controls.selectedRow = 9;
        EXPECT_EQ(window.RaiseAlone(event), EventOutcome::Running);
        EXPECT_EQ(window.controls.boxes,
                  (std::vector<ShownBox>{ErrorBox(HandlerOf(event).location, 91, error::kObjectNotSetText)}));
        EXPECT_TRUE(window.host->Journal().empty());
    }
}

// The readout of a table other than Architectural is the scale itself, with the user's separator.
TEST(Timer, ReattachesToTheDocumentActiveNowWithoutPreparingIt) {
    TestWindow window(std::string(kSheetScenario) + "document Other\nspace paper\nviewport 1\nviewport 0.02 active\n");
    window.Loaded();
    window.host->activeDocument = 1;
    EXPECT_EQ(window.Raise(Event::TimerTick), EventOutcome::Running);
    EXPECT_EQ(window.host->Journal().size(), 2u);  // the attach, nothing more
    window.RaiseAlone(Event::ScaleSystemChosen, 3);
    window.controls.decimalSeparator = ",";
    window.RaiseAlone(Event::CurrentScaleClick);
    EXPECT_EQ(window.controls.boxes, (std::vector<ShownBox>{{"0,02"}}));
}

// A fill that fails leaves the rows added so far, drawn before the box, and
// reports under the table's name; failures that are not the host's get a
// well-known number.
TEST(FillFailure, LeavesTheRowsAddedSoFarAndReportsUnderTheTablesName) {
    const struct {
        std::size_t rows;  // added before the failure
        std::function<void()> thrower;
        ShownBox box;
    } cases[] = {
        {4, [] { throw kInjectedFailure; }, ErrorBox("Civil", kInjected, "Injected failure")},
        {0, [] { throw std::bad_alloc(); }, ErrorBox("Civil", status::kOutOfMemory, "Out of memory")},
        {0, [] { throw std::runtime_error("broke"); }, ErrorBox("Civil", status::kUnexpected, "broke")},
    };
    for (const auto& test : cases) {
        TestWindow window;
        window.Loaded();
        window.controls.FailFrom("AddRow", static_cast<int>(test.rows) + 1, test.thrower);
        EXPECT_EQ(window.RaiseAlone(Event::ScaleSystemChosen, 2), EventOutcome::Running);
        EXPECT_EQ(window.controls.boxes, std::vector<ShownBox>{test.box});
        auto expected = TableRows(2);
        expected.resize(test.rows);
        EXPECT_EQ(window.controls.rows, expected);
        EXPECT_EQ(window.controls.boxesWhileRowChangesOpen, 0);
    }
}

TEST(Reporting, AFailedBoxIsSwallowed) {
    TestWindow window;
    window.Loaded();
    window.controls.transparentState = ui::kChecked;
    window.controls.FailFrom("MakeTransparent", 1, [] { throw kInjectedFailure; });
    window.controls.FailFrom("ShowMessage", 1, [] { throw kInjectedFailure; });
    EXPECT_EQ(window.RaiseAlone(Event::TransparentClick), EventOutcome::Running);
    EXPECT_TRUE(window.controls.boxes.empty());
    // The failed box does not count as open: a tick still notices a gone host.
    window.controls.FailFrom("ShowMessage", 1000000, [] {});
    window.host->running = false;
    EXPECT_EQ(window.Raise(Event::TimerTick), EventOutcome::Ended);
    EXPECT_EQ(window.controls.boxes, (std::vector<ShownBox>{kNotRunningBox}));
}

}  // namespace
}  // namespace vantrel::testing
