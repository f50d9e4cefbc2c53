// The simulated host behaves like the real one where the program depends on
// it, journals every call, fails calls on demand and loads scenarios.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/Failure.h"
#include "host/HostModel.h"
#include "sim/SimulatedHost.h"

namespace {

using vantrel::Failure;
using vantrel::sim::Fault;
using vantrel::sim::FaultMode;
using vantrel::sim::SimulatedHost;
using vantrel::sim::SimView;
namespace status = vantrel::status;

std::int32_t FailureNumber(const std::function<void()>& call) {
    try {
        call();
    } catch (const Failure& failure) {
        return failure.Number();
    }
    return 0;
}

// ---- scenarios ----

class MalformedScenario : public ::testing::TestWithParam<const char*> {};

TEST_P(MalformedScenario, IsRejectedNamingTheLine) {
    const std::string text = std::string("document A\n") + GetParam() + "\n";
    try {
        (void)SimulatedHost::FromScenario(text);
        FAIL() << "accepted: " << GetParam();
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find("line 2"), std::string::npos) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, MalformedScenario,
                         ::testing::Values("frobnicate", "document A B", "space tiles", "mspace maybe",
                                           "mspace-on-switch never", "extents 0", "viewport abc", "viewport 1/0",
                                           "viewport 1 on off", "viewport 1 dim", "entity AcDbLine extra",
                                           "fail Document.Mspace= 5 always", "fail Document.MSpace 5 always",
                                           "fail Document.MSpace= 0xZZ always", "fail Document.MSpace= 5 sometimes",
                                           "fail Document.MSpace= 5 after=-1", "slow Document.Regen",
                                           "slow Document.Regen 5 more", "notrunning now"));

// ---- behaving like the real host ----

struct MSpaceCase {
    const char* name;
    const char* scenario;
    bool accepted;
};

class MSpaceRule : public ::testing::TestWithParam<MSpaceCase> {};

TEST_P(MSpaceRule, NeedsPaperSpaceAndAFloatingViewportThatIsOn) {
    auto host = SimulatedHost::FromScenario(GetParam().scenario);
    auto document = host->ApplicationObject()->ActiveDocument();
    if (GetParam().accepted) {
        EXPECT_NO_THROW(document->SetMSpace(true));
        EXPECT_TRUE(host->ActiveDocumentState().mspace);
    } else {
        EXPECT_NE(FailureNumber([&] { document->SetMSpace(true); }), 0);
        EXPECT_FALSE(host->ActiveDocumentState().mspace);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, MSpaceRule,
    ::testing::Values(MSpaceCase{"PaperWithFloating", "space paper\nviewport 1\nviewport 0.5\n", true},
                      MSpaceCase{"ModelSpace", "space model\nviewport 1\nviewport 0.5\n", false},
                      MSpaceCase{"OnlyTheSheetsOwn", "space paper\nviewport 1\nentity AcDbLine\n", false},
                      MSpaceCase{"FloatingOff", "space paper\nviewport 1\nviewport 0.5 off\n", false},
                      MSpaceCase{"NoViewport", "space paper\nentity AcDbLine\n", false},
                      MSpaceCase{"SheetAfterLines", "space paper\nentity AcDbLine\nviewport 1\nviewport 2\n", true}),
    [](const auto& test) { return std::string(test.param.name); });

struct ViewCase {
    const char* name;
    const char* state;  // scenario lines before the items
    const char* view;   // what the zooms changed
    const char* activeFlags = "";
};

class CurrentView : public ::testing::TestWithParam<ViewCase> {};

// Zooms act on the current view only; a locked viewport passes them to the sheet.
TEST_P(CurrentView, TakesTheZooms) {
    auto host = SimulatedHost::FromScenario(
        std::string(GetParam().state) + "extents 1/7\nviewport 1\nviewport 0.5 active" + GetParam().activeFlags + "\n");
    auto application = host->ApplicationObject();
    application->ZoomExtents();
    const double afterExtents = host->ActiveDocumentState().paperSpace[1].customScale;
    application->ZoomScaled(0.25, 2);
    const auto& state = host->ActiveDocumentState();
    const std::string view = GetParam().view;
    EXPECT_EQ(host->Journal()[0].view, view);
    EXPECT_EQ(host->Journal()[1].view, view);
    EXPECT_EQ(afterExtents, view == "viewport 2" ? 1.0 / 7 : 0.5);
    EXPECT_EQ(state.paperSpace[1].customScale, view == "viewport 2" ? 0.25 : 0.5);
    EXPECT_EQ(state.sheetView, (view == "sheet" ? SimView{2, 0.25} : SimView{}));
    EXPECT_EQ(state.modelView, (view == "model" ? SimView{2, 0.25} : SimView{}));
    EXPECT_NE(FailureNumber([&] { application->ZoomScaled(0.0, 2); }), 0);
    EXPECT_NE(FailureNumber([&] { application->ZoomScaled(1.0, 7); }), 0);
}

INSTANTIATE_TEST_SUITE_P(States, CurrentView,
                         ::testing::Values(ViewCase{"ModelTab", "space model\nmspace on\n", "model"},
                                           ViewCase{"PaperSpaceProper", "space paper\n", "sheet"},
                                           ViewCase{"InsideAViewport", "space paper\nmspace on\n", "viewport 2"},
                                           ViewCase{"InsideALockedViewport", "space paper\nmspace on\n", "sheet",
                                                    " locked"}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(SimulatedHostFacts, WritingActiveSpaceKeepsModelSpaceInTheViewportUnlessTheScenarioClearsIt) {
    for (const bool kept : {true, false}) {
        auto host = SimulatedHost::FromScenario(std::string("space paper\nmspace on\nmspace-on-switch ") +
                                                (kept ? "kept" : "cleared") + "\nviewport 1\nviewport 0.5 active\n");
        auto document = host->ApplicationObject()->ActiveDocument();
        document->SetActiveSpace(1);
        document->SetActiveSpace(0);
        EXPECT_EQ(host->ActiveDocumentState().mspace, kept);
    }
}

// ---- journal and faults ----

TEST(Journal, RecordsEveryCallWithArgumentsAndResult) {
    auto host = SimulatedHost::FromScenario("space paper\nviewport 1\nviewport 0.5 active\n");
    auto application = host->Locator().GetRunningApplication("autocad.application");
    auto document = application->ActiveDocument();
    document->SetMSpace(true);
    application->ZoomScaled(1.0 / 48, 2);
    (void)FailureNumber([&] { document->Regen(9); });
    ASSERT_EQ(host->Journal().size(), 5u);
    EXPECT_EQ(host->Journal()[2].call, "Document.MSpace=");
    EXPECT_EQ(host->Journal()[2].arguments, "true");
    EXPECT_EQ(std::stod(host->Journal()[3].arguments.substr(0, host->Journal()[3].arguments.find(','))), 1.0 / 48);
    EXPECT_EQ(host->Journal()[4].call, "Document.Regen");
    EXPECT_FALSE(host->Journal()[4].result.empty());
    const std::string text = host->JournalText();
    EXPECT_EQ(text.substr(0, text.find('\n')), "Locator.GetActiveObject(autocad.application) -> ok");
    EXPECT_NE(text.find("\nDocument.Regen(9) -> 0x80210064\n"), std::string::npos) << text;
}

struct FaultCase {
    const char* name;
    FaultMode mode;
    int afterCalls;
    std::vector<bool> failures;  // per successive call
};

class FaultModes : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultModes, FailTheNamedCallAsAsked) {
    auto host = SimulatedHost::FromScenario("space paper\nviewport 1\nviewport 2\n");
    auto document = host->ApplicationObject()->ActiveDocument();
    Fault fault;
    fault.call = "Document.Regen";
    fault.number = static_cast<std::int32_t>(0x80210099u);
    fault.description = "Regen refused";
    fault.mode = GetParam().mode;
    fault.afterCalls = GetParam().afterCalls;
    host->InjectFault(fault);
    for (std::size_t i = 0; i < GetParam().failures.size(); ++i) {
        EXPECT_EQ(FailureNumber([&] { document->Regen(1); }) != 0, GetParam().failures[i]) << "call " << i + 1;
        EXPECT_NO_THROW(document->ActiveSpace());  // other calls are untouched
    }
    host->ClearFaults();
    EXPECT_NO_THROW(document->Regen(1));
}

INSTANTIATE_TEST_SUITE_P(Modes, FaultModes,
                         ::testing::Values(FaultCase{"Always", FaultMode::Always, 0, {true, true, true}},
                                           FaultCase{"Once", FaultMode::Once, 0, {true, false, false}},
                                           FaultCase{"AfterTwo", FaultMode::AfterCalls, 2, {false, false, true, true}},
                                           FaultCase{"AfterZero", FaultMode::AfterCalls, 0, {true, true}}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(FaultModesTimed, ForDurationStopsFailingOnceTheTimeHasPassed) {
    auto host = SimulatedHost::FromScenario("viewport 1\nfail Document.Regen 0x80010001 for=30\n");
    auto document = host->ApplicationObject()->ActiveDocument();
    EXPECT_EQ(FailureNumber([&] { document->Regen(1); }), status::kCallRejected);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_NO_THROW(document->Regen(1));
}

}  // namespace
