// The simulated host behaves as the real one is documented to where the
// program depends on it, and rejects scenarios it cannot read.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "base/Failure.h"
#include "sim/SimulatedHost.h"

namespace vantrel::sim {
namespace {

TEST(Scenario, AMalformedLineIsRejectedByItsNumber) {
    for (const char* line :
         {"frobnicate", "document A B", "space tiles", "mspace maybe", "extents 0", "viewport abc", "viewport 1/0",
          "viewport 1 on off", "viewport 1 dim", "entity AcDbLine extra", "fail Document.Mspace= 5 always",
          "fail Document.MSpace 5 always", "fail Document.MSpace= 0xZZ always", "fail Document.MSpace= 5 sometimes",
          "fail Document.MSpace= 5 after=-1", "slow Document.Regen", "slow Document.Regen 5 more", "notrunning now"}) {
        try {
            (void)SimulatedHost::FromScenario(std::string("document A\n") + line + "\n");
            ADD_FAILURE() << "accepted: " << line;
        } catch (const std::invalid_argument& error) {
            EXPECT_NE(std::string(error.what()).find("line 2"), std::string::npos) << error.what();
        }
    }
}

// Model space inside a viewport needs a layout and a floating viewport that is on.
TEST(HostFacts, MSpaceNeedsPaperSpaceAndAFloatingViewportOn) {
    for (const auto& [scenario, accepted] : {std::pair{"space paper\nviewport 1\nviewport 0.5\n", true},
                                             {"space model\nviewport 1\nviewport 0.5\n", false},
                                             {"space paper\nviewport 1\nentity AcDbLine\n", false},
                                             {"space paper\nviewport 1\nviewport 0.5 off\n", false},
                                             {"space paper\nentity AcDbLine\n", false},
                                             {"space paper\nentity AcDbLine\nviewport 1\nviewport 2\n", true}}) {
        auto host = SimulatedHost::FromScenario(scenario);
        const auto document = host->ApplicationObject()->ActiveDocument();
        if (accepted) {
            document->SetMSpace(true);  // a failure fails the test
        } else {
            EXPECT_THROW(document->SetMSpace(true), Failure) << scenario;
        }
        EXPECT_EQ(host->ActiveDocumentState().mspace, accepted) << scenario;
    }
}

// Zooms act on the current view only; a locked viewport passes them to the sheet.
TEST(HostFacts, ZoomsActOnTheCurrentView) {
    const SimView zoomedTwice{2, 0.25};  // to the extents, then by a quarter
    const struct {
        const char* state;
        const char* activeFlags;
        const char* view;
        double scaleAfterExtents;  // the floating viewport's
        double scaleAfterZoom;
        SimView sheet;
        SimView model;
    } cases[] = {
        {"space model\nmspace on\n", "", "model", 0.5, 0.5, {}, zoomedTwice},
        {"space paper\n", "", "sheet", 0.5, 0.5, zoomedTwice, {}},
        {"space paper\nmspace on\n", "", "viewport 2", 1.0 / 7, 0.25, {}, {}},
        {"space paper\nmspace on\n", " locked", "sheet", 0.5, 0.5, zoomedTwice, {}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.view);
        auto host = SimulatedHost::FromScenario(
            std::string(test.state) + "extents 1/7\nviewport 1\nviewport 0.5 active" + test.activeFlags + "\n");
        auto application = host->ApplicationObject();
        application->ZoomExtents();
        const double afterExtents = host->ActiveDocumentState().paperSpace[1].customScale;
        application->ZoomScaled(0.25, 2);
        const auto& drawing = host->ActiveDocumentState();
        EXPECT_EQ(host->Journal()[1].view, test.view);
        EXPECT_EQ(afterExtents, test.scaleAfterExtents);
        EXPECT_EQ(drawing.paperSpace[1].customScale, test.scaleAfterZoom);
        EXPECT_EQ(drawing.sheetView, test.sheet);
        EXPECT_EQ(drawing.modelView, test.model);
        EXPECT_THROW(application->ZoomScaled(0.0, 2), Failure);
        EXPECT_THROW(application->ZoomScaled(1, 7), Failure);
    }
}

}  // namespace
}  // namespace vantrel::sim
