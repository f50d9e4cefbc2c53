// The window's own behaviour over the simulated drawing: the list and the
// options, the end, transparency, host actions before any attach, the
// readout of a metric scale, and failures of the window's own controls.
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

// What the list shows of a scale system: its number of rows and the labels
// of its first and last, as drafters know them.
struct ListedSystem {
    std::size_t rows;
    const char* first;
    const char* last;
};
const ListedSystem kArchitecturalListed{12, "12=1'-0", "1/16=1'-0"};
const ListedSystem kMachineListed{11, "4/1 ", "1/50"};
const ListedSystem kCivilListed{11, "1=10'", "1=500'"};
const ListedSystem kMetricListed{10, "5:1", "1:100"};

void ExpectListed(const RecordingControls& controls, const ListedSystem& expected) {
    ASSERT_EQ(controls.rows.size(), expected.rows);
    EXPECT_EQ(controls.rows.front().front(), expected.first);
    EXPECT_EQ(controls.rows.back().front(), expected.last);
    EXPECT_EQ(controls.rows.front().size(), 6u);
}

// The load prepares the drawing and lists Architectural, drawn once after the
// fill; the options replace the list without asking the host, other indexes
// change nothing; with nothing selected "Ok" zooms nothing and ends.
TEST(Load, ListsArchitecturalAndTheOptionsTheirTables) {
    TestWindow window;
    window.RaiseAlone(Event::Load);
    EXPECT_FALSE(window.Ended());
    ExpectListed(window.controls, kArchitecturalListed);
    EXPECT_EQ(window.controls.checkedOption, 0);
    EXPECT_EQ(window.controls.rowChangesOutsideBrackets, 0);
    EXPECT_FALSE(window.controls.rowChangesOpen);
    window.host->ClearJournal();
    const struct {
        int index;
        const ListedSystem* listed;
    } choices[] = {
        {1, &kMachineListed},       {2, &kCivilListed},         {3, &kMetricListed},         {3, &kMetricListed},
        {0, &kArchitecturalListed}, {4, &kArchitecturalListed}, {-1, &kArchitecturalListed},
    };
    for (const auto& choice : choices) {
        SCOPED_TRACE(choice.index);
        window.RaiseAlone(Event::ScaleSystemChosen, choice.index);
        EXPECT_FALSE(window.Ended());
        ExpectListed(window.controls, *choice.listed);
    }
    window.RaiseAlone(Event::RowApplied);
    EXPECT_FALSE(window.Ended());
    window.RaiseAlone(Event::OkClick);
    EXPECT_TRUE(window.Ended());
    EXPECT_TRUE(window.host->Journal().empty());
    EXPECT_TRUE(window.controls.boxes.empty());
    // A row beyond the table has no scale either.
    TestWindow beyond;
    beyond.Loaded();
    beyond.controls.selectedRow = 13;
    beyond.RaiseAlone(Event::OkClick);
    EXPECT_TRUE(beyond.Ended());
    EXPECT_TRUE(beyond.host->Journal().empty());
    // A failed preparation leaves no system shown, so "Ok" zooms nothing and
    // ends; the options still fill the list.
    TestWindow unprepared("space paper\nviewport 1\n");
    unprepared.RaiseAlone(Event::Load);
    EXPECT_FALSE(unprepared.Ended());
    EXPECT_TRUE(unprepared.controls.rows.empty());
    unprepared.RaiseAlone(Event::OkClick);
    EXPECT_TRUE(unprepared.Ended());
    unprepared.RaiseAlone(Event::ScaleSystemChosen, 3);
    ExpectListed(unprepared.controls, kMetricListed);
}

TEST(EndAndTransparency, EndAtOnceAndSetTheWindowThenTheListWithoutTheHost) {
    using Opacity = std::vector<std::pair<NativeWindow, std::uint8_t>>;
    const Opacity translucent{{NativeWindow::Main, 186}, {NativeWindow::List, 100}};
    const Opacity opaque{{NativeWindow::Main, 255}, {NativeWindow::List, 255}};
    const struct {
        int checkState;
        Opacity opacity;
        Event end;
    } cases[] = {
        {ui::kChecked, translucent, Event::ExitClick},
        {ui::kCheckClear, opaque, Event::ExitClick},
        {2, opaque, Event::Close},  // indeterminate counts as clear
    };
    for (const auto& test : cases) {
        TestWindow window;
        window.Loaded();
        window.controls.transparentState = test.checkState;
        window.RaiseAlone(Event::TransparentClick);
        EXPECT_FALSE(window.Ended());
        EXPECT_EQ(window.controls.opacity, test.opacity);
        window.RaiseAlone(test.end);
        EXPECT_TRUE(window.Ended());
        EXPECT_TRUE(window.host->Journal().empty());
        EXPECT_TRUE(window.controls.boxes.empty());
    }
    // A failure on the way is shown under the handler, and the program goes on.
    TestWindow window;
    window.Loaded();
    window.controls.transparentState = ui::kChecked;
    window.controls.FailFrom("MakeTransparent", 2, [] { throw kInjectedFailure; });
    window.RaiseAlone(Event::TransparentClick);
    EXPECT_FALSE(window.Ended());
    EXPECT_EQ(window.controls.boxes,
              (std::vector<ShownBox>{ErrorBox("ChkTransparent_Click", kInjected, "Injected failure")}));
    EXPECT_EQ(window.controls.opacity.size(), 1u);
}

TEST(NeverAttached, EveryHostActionFailsWith91InsteadOfCrashing) {
    for (const Event event : {Event::CurrentScaleClick, Event::NextViewportClick, Event::OkClick, Event::RowApplied}) {
        TestWindow window;
        window.RaiseAlone(Event::ScaleSystemChosen, 0);
        window.controls.selectedRow = 9;
        window.RaiseAlone(event);
        EXPECT_FALSE(window.Ended());
        EXPECT_EQ(window.controls.boxes,
                  (std::vector<ShownBox>{ErrorBox(HandlerOf(event).location, 91, error::kObjectNotSetText)}));
        EXPECT_TRUE(window.host->Journal().empty());
    }
}

// The readout of a system other than Architectural is the scale itself, with the user's separator.
TEST(Readout, OfMetricIsTheScaleInTheUsersDigits) {
    TestWindow window("space paper\nmspace on\nviewport 1\nviewport 0.02 active\n");
    window.Loaded();
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
        window.RaiseAlone(Event::ScaleSystemChosen, 2);
        EXPECT_FALSE(window.Ended());
        EXPECT_EQ(window.controls.boxes, std::vector<ShownBox>{test.box});
        ASSERT_EQ(window.controls.rows.size(), test.rows);
        if (test.rows > 0) {
            EXPECT_EQ(window.controls.rows.front().front(), kCivilListed.first);
        }
        EXPECT_EQ(window.controls.boxesWhileRowChangesOpen, 0);
    }
}

TEST(Reporting, AFailedBoxIsSwallowed) {
    TestWindow window;
    window.Loaded();
    window.controls.transparentState = ui::kChecked;
    window.controls.FailFrom("MakeTransparent", 1, [] { throw kInjectedFailure; });
    window.controls.FailFrom("ShowMessage", 1, [] { throw kInjectedFailure; });
    window.RaiseAlone(Event::TransparentClick);
    EXPECT_FALSE(window.Ended());
    EXPECT_TRUE(window.controls.boxes.empty());
    // The failed box does not count as open: a tick still notices a gone host.
    window.controls.FailFrom("ShowMessage", 1000000, [] {});
    window.host->running = false;
    window.Raise(Event::TimerTick);
    EXPECT_TRUE(window.Ended());
    EXPECT_EQ(window.controls.boxes, (std::vector<ShownBox>{kNotRunningBox}));
}

}  // namespace
}  // namespace vantrel::testing
