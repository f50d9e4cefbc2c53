// The window's behaviour against the simulated drawing and a recording set of
// controls: host calls in order, the boxes the user sees, the list's rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "RecordingControls.h"
#include "TestWindow.h"
#include "base/Failure.h"
#include "catalog/ScaleCatalog.h"
#include "sim/SimulatedHost.h"
#include "ui/ErrorReport.h"
#include "ui/FrmMain.h"

namespace {

using vantrel::Failure;
using vantrel::catalog::GetScaleTable;
using vantrel::catalog::ScaleType;
using vantrel::sim::Fault;
using vantrel::sim::SimulatedHost;
using vantrel::testing::RecordingControls;
using vantrel::testing::ShownBox;
using vantrel::ui::ErrorReportText;
using vantrel::ui::Event;
using vantrel::ui::EventOutcome;
using vantrel::ui::FrmMain;
using vantrel::ui::MessageStyle;
using vantrel::ui::NativeWindow;
namespace status = vantrel::status;

const char* const kSheet = vantrel::testing::kSheetScenario;

constexpr std::int32_t kInjected = static_cast<std::int32_t>(0x80210099u);
constexpr const char* kInjectedText = "Injected failure";
constexpr std::string_view kNotSetText = vantrel::error::kObjectNotSetText;

using Window = vantrel::testing::TestWindow;
using vantrel::testing::ErrorBox;
using vantrel::testing::NotRunningBox;
using vantrel::testing::TableRows;

// ---- the load ----

TEST(Load, AttachesPreparesTheDrawingAndListsArchitecturalOnce) {
    Window window(kSheet);
    EXPECT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
    EXPECT_EQ(window.Calls(),
              (std::vector<std::string>{"Locator.GetActiveObject(autocad.application)", "Application.ActiveDocument",
                                        "Document.ActiveSpace", "Document.ActiveSpace=(0)", "Document.MSpace=(false)",
                                        "Document.Application", "Application.ZoomExtents", "Document.MSpace=(true)"}));
    EXPECT_EQ(window.controls.rows, TableRows(ScaleType::Architectural));
    EXPECT_EQ(window.controls.checkedOption, std::optional<int>(0));
    EXPECT_EQ(window.controls.CallCount("ClearRows"), 2);  // the option's click, then Architectural again
    EXPECT_EQ(window.controls.CallCount("AddRow"), 24);
    // Each fill's changes are drawn once, when the fill is over.
    EXPECT_EQ(window.controls.rowChangeBrackets, 2);
    EXPECT_EQ(window.controls.rowChangesOutsideBrackets, 0);
    EXPECT_FALSE(window.controls.rowChangesOpen);
    EXPECT_TRUE(window.controls.boxes.empty());
    EXPECT_NE(window.form->AcadDoc(), nullptr);
    EXPECT_NE(window.form->AcadApp(), nullptr);
    const auto& drawing = window.host->ActiveDocumentState();
    EXPECT_EQ(drawing.activeSpace, 0);
    EXPECT_TRUE(drawing.mspace);
}

TEST(Load, AfterAFailedPreparationPickingAnOptionStillFillsTheList) {
    Window window("space paper\nviewport 1\n");
    ASSERT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
    ASSERT_TRUE(window.controls.rows.empty());
    EXPECT_EQ(window.form->Raise(Event::OptionClick, 3), EventOutcome::Running);
    EXPECT_EQ(window.controls.rows, TableRows(ScaleType::Metric));
}

// Failure at each host call of each handler: fault_matrix_test.cpp.

// ---- the handlers ----

class OptionClick : public ::testing::TestWithParam<int> {};

TEST_P(OptionClick, ReplacesTheListWithTheChosenTable) {
    Window window(kSheet);
    ASSERT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
    window.host->ClearJournal();
    const auto type = static_cast<ScaleType>(GetParam());
    for (int twice = 0; twice < 2; ++twice) {
        EXPECT_EQ(window.form->Raise(Event::OptionClick, GetParam()), EventOutcome::Running);
        EXPECT_EQ(window.controls.rows, TableRows(type));
    }
    EXPECT_TRUE(window.host->Journal().empty());  // the list is the program's own
    EXPECT_TRUE(window.controls.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Types, OptionClick, ::testing::Values(0, 1, 2, 3));

TEST(OptionClickOther, AnIndexOutsideTheFourChangesNothing) {
    Window window(kSheet);
    ASSERT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
    window.form->Raise(Event::OptionClick, 3);
    for (const int index : {4, -1, 70000}) {
        EXPECT_EQ(window.form->Raise(Event::OptionClick, index), EventOutcome::Running);
        EXPECT_EQ(window.controls.rows, TableRows(ScaleType::Metric)) << index;
    }
}

struct ZoomCase {
    const char* name;
    Event event;
    std::optional<int> option;
    std::optional<std::int32_t> row;
    std::vector<double> zooms;
    EventOutcome outcome;
};

class Zoom : public ::testing::TestWithParam<ZoomCase> {};

TEST_P(Zoom, ZoomsTheActiveViewportToTheSelectedRow) {
    const ZoomCase& test = GetParam();
    Window window(kSheet);
    ASSERT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
    window.host->ClearJournal();
    window.controls.checkedOption = test.option;
    window.controls.selectedRow = test.row;
    EXPECT_EQ(window.form->Raise(test.event), test.outcome);
    EXPECT_EQ(window.Count("Application.ZoomScaled"), static_cast<int>(test.zooms.size()));
    const auto& drawing = window.host->ActiveDocumentState();
    if (!test.zooms.empty()) {
        EXPECT_EQ(drawing.paperSpace[*drawing.activeViewport].customScale, test.zooms.back());
    } else {
        EXPECT_EQ(window.host->Journal().size(), 0u);  // nothing to zoom to: the host is not asked
    }
    if (!test.option) {
        EXPECT_EQ(window.controls.selectedRowReads, 0);  // the list is not read
    }
    EXPECT_TRUE(window.controls.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Zoom,
    ::testing::Values(ZoomCase{"OkQuarterInch", Event::OkClick, 0, 9, {1.0 / 48}, EventOutcome::Ended},
                      ZoomCase{"ApplyMetricFifty", Event::ListApply, 3, 8, {0.02}, EventOutcome::Running},
                      ZoomCase{"ApplyCivilTen", Event::ListApply, 2, 1, {1.0 / 120}, EventOutcome::Running},
                      ZoomCase{"ApplyMachineThirty", Event::ListApply, 1, 9, {1.0 / 30}, EventOutcome::Running},
                      ZoomCase{"OkBeyondTheTable", Event::OkClick, 0, 13, {}, EventOutcome::Ended},
                      ZoomCase{"ApplyRowZero", Event::ListApply, 3, 0, {}, EventOutcome::Running},
                      ZoomCase{"ApplyNoRowSelected", Event::ListApply, 3, std::nullopt, {}, EventOutcome::Running},
                      ZoomCase{"OkNoRowSelected", Event::OkClick, 1, std::nullopt, {}, EventOutcome::Ended},
                      ZoomCase{"ApplyNoOption", Event::ListApply, std::nullopt, 5, {}, EventOutcome::Running},
                      ZoomCase{"OkNoOption", Event::OkClick, std::nullopt, 5, {}, EventOutcome::Ended}),
    [](const auto& test) { return std::string(test.param.name); });

struct ReadoutCase {
    const char* name;
    const char* scale;
    std::optional<int> option;
    const char* separator;
    const char* text;
};

class CurrentScaleBox : public ::testing::TestWithParam<ReadoutCase> {};

TEST_P(CurrentScaleBox, ShowsTheActiveViewportsScale) {
    const ReadoutCase& test = GetParam();
    Window window(std::string("space paper\nviewport 1\nviewport ") + test.scale + " active\n");
    ASSERT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
    window.controls.checkedOption = test.option;
    window.controls.decimalSeparator = test.separator;
    window.host->ClearJournal();
    EXPECT_EQ(window.form->Raise(Event::GetScaleClick), EventOutcome::Running);
    EXPECT_EQ(window.controls.boxes, (std::vector<ShownBox>{{test.text, "Vantrel", MessageStyle::Plain}}));
    EXPECT_EQ(window.Calls(), (std::vector<std::string>{"Document.ActivePViewport", "Entity.CustomScale"}));
}

INSTANTIATE_TEST_SUITE_P(Scales, CurrentScaleBox,
                         ::testing::Values(ReadoutCase{"QuarterInch", "1/48", 0, ".", "0.25 = 1'-0"},
                                           ReadoutCase{"EighthInch", "1/96", 0, ".", "0.125 = 1'-0"},
                                           ReadoutCase{"QuarterInchCut", "0.0208333333333333", 0, ".", "0.25 = 1'-0"},
                                           ReadoutCase{"MachineRatio", "0.02", 1, ".", "0.02"},
                                           ReadoutCase{"CivilRatio", "0.02", 2, ".", "0.02"},
                                           ReadoutCase{"MetricRatioComma", "0.02", 3, ",", "0,02"},
                                           ReadoutCase{"NoOption", "0.02", std::nullopt, ".", "0.02"}),
                         [](const auto& test) { return std::string(test.param.name); });

struct EndCase {
    const char* name;
    Event event;
};

class Ending : public ::testing::TestWithParam<EndCase> {};

TEST_P(Ending, EndsAtOnceWithoutAskingAnything) {
    Window window(kSheet);
    ASSERT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
    window.host->ClearJournal();
    EXPECT_EQ(window.form->Raise(GetParam().event), EventOutcome::Ended);
    EXPECT_TRUE(window.host->Journal().empty());
    EXPECT_TRUE(window.controls.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Routes, Ending,
                         ::testing::Values(EndCase{"Exit", Event::ExitClick}, EndCase{"Close", Event::Close}),
                         [](const auto& test) { return std::string(test.param.name); });

struct TransparencyCase {
    const char* name;
    int state;
    std::vector<std::pair<NativeWindow, std::uint8_t>> opacity;
};

class Transparency : public ::testing::TestWithParam<TransparencyCase> {};

TEST_P(Transparency, SetsTheWindowThenTheList) {
    Window window(kSheet);
    ASSERT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
    window.host->ClearJournal();
    window.controls.transparentState = GetParam().state;
    EXPECT_EQ(window.form->Raise(Event::TransparentClick), EventOutcome::Running);
    EXPECT_EQ(window.controls.opacity, GetParam().opacity);
    EXPECT_TRUE(window.host->Journal().empty());
}

INSTANTIATE_TEST_SUITE_P(
    States, Transparency,
    ::testing::Values(
        TransparencyCase{"Checked", vantrel::ui::kChecked, {{NativeWindow::Main, 186}, {NativeWindow::List, 100}}},
        TransparencyCase{"Clear", vantrel::ui::kCheckClear, {{NativeWindow::Main, 255}, {NativeWindow::List, 255}}},
        TransparencyCase{"Indeterminate", 2, {{NativeWindow::Main, 255}, {NativeWindow::List, 255}}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(TransparencyFailure, IsShownUnderTheHandlerAndTheProgramGoesOn) {
    Window window(kSheet);
    ASSERT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
    window.controls.transparentState = vantrel::ui::kChecked;
    window.controls.FailFrom("MakeTransparent", 2, [] { throw Failure(kInjected, kInjectedText); });
    EXPECT_EQ(window.form->Raise(Event::TransparentClick), EventOutcome::Running);
    EXPECT_EQ(window.controls.boxes,
              (std::vector<ShownBox>{ErrorBox("ChkTransparent_Click", kInjected, kInjectedText)}));
    EXPECT_EQ(window.controls.opacity.size(), 1u);
}

class MissingHostReference : public ::testing::TestWithParam<EndCase> {};

TEST_P(MissingHostReference, FailsWithNumber91InsteadOfCrashing) {
    Window window(kSheet);  // never loaded: AcadDoc is empty
    window.controls.checkedOption = 0;
    window.controls.selectedRow = 9;
    EXPECT_EQ(window.form->Raise(GetParam().event), EventOutcome::Running);
    const std::map<Event, const char*> locations = {{Event::GetScaleClick, "CmdGetScale_Click"},
                                                    {Event::NextClick, "CmdNext_Click"},
                                                    {Event::OkClick, "CmdOK_Click"},
                                                    {Event::ListApply, "LVscales_DblClick"}};
    EXPECT_EQ(window.controls.boxes,
              (std::vector<ShownBox>{ErrorBox(locations.at(GetParam().event), 91, kNotSetText)}));
    EXPECT_TRUE(window.host->Journal().empty());
}

INSTANTIATE_TEST_SUITE_P(Handlers, MissingHostReference,
                         ::testing::Values(EndCase{"CurrentScale", Event::GetScaleClick},
                                           EndCase{"NextVPort", Event::NextClick}, EndCase{"Ok", Event::OkClick},
                                           EndCase{"ListApply", Event::ListApply}),
                         [](const auto& test) { return std::string(test.param.name); });

// ---- the timer ----

TEST(Timer, ReattachesToTheDocumentActiveNowWithoutPreparingIt) {
    Window window(std::string(kSheet) + "document Other\nspace paper\nviewport 1\nviewport 0.02 active\n");
    ASSERT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
    window.host->activeDocument = 1;
    window.host->ClearJournal();
    EXPECT_EQ(window.form->Raise(Event::TimerTick), EventOutcome::Running);
    EXPECT_EQ(window.Calls(),
              (std::vector<std::string>{"Locator.GetActiveObject(autocad.application)", "Application.ActiveDocument"}));
    window.controls.checkedOption = 3;
    window.form->Raise(Event::GetScaleClick);
    EXPECT_EQ(window.controls.boxes, (std::vector<ShownBox>{{"0.02", "Vantrel", MessageStyle::Plain}}));
    EXPECT_EQ(window.host->documents[1].sheetView.zooms, 0);
}

TEST(Timer, AGoneHostShowsOneNotRunningBoxThenTheProgramEnds) {
    Window window(kSheet);
    ASSERT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
    window.host->running = false;
    window.host->ClearJournal();
    std::vector<EventOutcome> ticksWhileOpen;
    int open = 0;  // ticks only under the first box, so a second box cannot recurse
    window.controls.whileBoxOpen = [&](const ShownBox&) {
        if (open++ == 0) {
            for (int tick = 0; tick < 3; ++tick) {
                ticksWhileOpen.push_back(window.form->Raise(Event::TimerTick));
            }
        }
        --open;
    };
    EXPECT_EQ(window.form->Raise(Event::TimerTick), EventOutcome::Ended);
    EXPECT_EQ(window.controls.boxes, (std::vector<ShownBox>{NotRunningBox()}));
    EXPECT_EQ(ticksWhileOpen, std::vector<EventOutcome>(3, EventOutcome::Running));
    EXPECT_EQ(window.Count("Locator.GetActiveObject"), 1);
}

// ---- failures of the window's own controls ----

TEST(FillFailure, LeavesTheRowsAddedSoFarAndReportsUnderTheTablesName) {
    Window window(kSheet);
    ASSERT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
    // The third sub-item of row 5.
    window.controls.FailFrom("AddSubItem", 4 * 5 + 3, [] { throw Failure(kInjected, kInjectedText); });
    EXPECT_EQ(window.form->Raise(Event::OptionClick, 2), EventOutcome::Running);
    EXPECT_EQ(window.controls.boxes, (std::vector<ShownBox>{ErrorBox("Civil", kInjected, kInjectedText)}));
    auto expected = TableRows(ScaleType::Civil);
    expected.resize(5);
    expected[4].resize(3);
    EXPECT_EQ(window.controls.rows, expected);
    // The rows added so far are drawn before the box tells of the failure.
    EXPECT_EQ(window.controls.boxesWhileRowChangesOpen, 0);
    EXPECT_FALSE(window.controls.rowChangesOpen);
}

struct ForeignFailureCase {
    const char* name;
    std::function<void()> thrower;
    std::int32_t number;
    const char* description;
};

class ForeignFailure : public ::testing::TestWithParam<ForeignFailureCase> {};

TEST_P(ForeignFailure, IsReportedWithAWellKnownNumber) {
    Window window(kSheet);
    ASSERT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
    window.controls.FailFrom("AddRow", 1, GetParam().thrower);
    EXPECT_EQ(window.form->Raise(Event::OptionClick, 1), EventOutcome::Running);
    EXPECT_EQ(window.controls.boxes,
              (std::vector<ShownBox>{ErrorBox("Machine", GetParam().number, GetParam().description)}));
    EXPECT_TRUE(window.controls.rows.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, ForeignFailure,
                         ::testing::Values(ForeignFailureCase{"OutOfMemory", [] { throw std::bad_alloc(); },
                                                              status::kOutOfMemory, "Out of memory"},
                                           ForeignFailureCase{"StandardException",
                                                              [] { throw std::runtime_error("list broke"); },
                                                              status::kUnexpected, "list broke"}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(Reporting, AFailureWhileReportingIsSwallowedAndBoxesAreCountedRight) {
    Window window(kSheet);
    ASSERT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
    window.controls.transparentState = vantrel::ui::kChecked;
    window.controls.FailFrom("MakeTransparent", 1, [] { throw Failure(kInjected, kInjectedText); });
    window.controls.FailFrom("ShowMessage", 1, [] { throw Failure(kInjected, "no box"); });
    EXPECT_EQ(window.form->Raise(Event::TransparentClick), EventOutcome::Running);
    EXPECT_TRUE(window.controls.boxes.empty());
    // The failed box does not count as open: a tick still notices a gone host.
    window.controls.FailFrom("ShowMessage", 1000000, [] {});
    window.host->running = false;
    EXPECT_EQ(window.form->Raise(Event::TimerTick), EventOutcome::Ended);
    EXPECT_EQ(window.controls.boxes, (std::vector<ShownBox>{NotRunningBox()}));
}

TEST(Reporting, TheEndOfTheProgramDuringABoxStillEndsIt) {
    Window window(kSheet);
    ASSERT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
    window.controls.selectedRow = 9;
    window.Inject("Application.ZoomScaled", kInjected, kInjectedText);
    window.controls.FailFrom("ShowMessage", 1, [] { throw vantrel::ui::ProgramEnd{}; });
    EXPECT_EQ(window.form->Raise(Event::OkClick), EventOutcome::Ended);
}

}  // namespace
