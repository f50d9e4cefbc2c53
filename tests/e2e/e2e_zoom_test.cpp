// Zooming to the selected scale: "Ok" zooms the active viewport once and ends
// the program, or says why it cannot and leaves the window open; a
// double-click of a row zooms and leaves the window open.
#include <gtest/gtest.h>

#include "e2e_user.h"

namespace vantrel::e2e {
namespace {

constexpr char kSheet[] = R"(document Sheet1
space model
viewport 1
viewport 1/48 on active
)";

constexpr int kMetricRowOneToFifty = 7;  // 0-based: "1:50", the eighth Metric row

struct OkCase {
    const char* name;
    const char* move;     // the user's move in the host after the load, if any
    const char* refusal;  // the box "Ok" shows instead of zooming, if any
};

class OkWhereTheDrawingIs : public ::testing::TestWithParam<OkCase> {};

// "Ok" zooms only ever the active floating viewport (the sample sheet's item
// 2), from paper space proper too; where there is none to zoom it says so and
// the window stays.
TEST_P(OkWhereTheDrawingIs, ZoomsTheActiveViewportBy0Point02ThenEndsOrSaysWhyNot) {
    const OkCase& c = GetParam();
    Session session(SampleSheet());
    ASSERT_TRUE(session.Up());
    ASSERT_TRUE(session.host.WaitForCall("Document.MSpace=(true)")) << session.host.CallsText();
    if (c.move != nullptr) {
        ASSERT_TRUE(session.host.Send(std::string("user ") + c.move));
    }
    auto& window = *session.window;
    window.Click(L"Metric");
    ASSERT_TRUE(window.WaitForRowCount(10));
    ASSERT_EQ(window.Rows().at(kMetricRowOneToFifty).at(0), "1:50");
    window.SelectRow(kMetricRowOneToFifty);
    window.Click(L"Ok");

    if (c.refusal == nullptr) {
        EXPECT_TRUE(session.app->Process().WaitForExit(kExitDeadline));
        const auto zooms = Matching(session.host.Calls(), "Application.ZoomScaled(");
        ASSERT_EQ(zooms.size(), 1u) << session.host.CallsText();
        EXPECT_EQ(Arguments(zooms[0]), (std::vector<double>{0.02, 2})) << zooms[0];
        EXPECT_TRUE(zooms[0].ends_with("-> ok [viewport 2]")) << zooms[0];
        return;
    }
    const auto box = WaitForMessageBox(session.Pid());
    ASSERT_TRUE(box) << session.host.CallsText();
    EXPECT_EQ(box->title, "Vantrel");
    EXPECT_EQ(box->text, c.refusal);
    PressOk(*box);
    EXPECT_TRUE(WaitUntil([&] { return !MessageBoxShown(session.Pid()); }, kActionDeadline));
    // The window stays and goes on attaching at its ticks; nothing was zoomed.
    const std::size_t seen = session.host.Calls().size();
    EXPECT_TRUE(WaitUntil([&] { return session.host.Calls().size() > seen; }, kActionDeadline));
    EXPECT_TRUE(VantrelWindow::Shown(session.Pid()));
    EXPECT_TRUE(session.app->Process().Running());
    EXPECT_TRUE(Matching(session.host.Calls(), "ZoomScaled").empty()) << session.host.CallsText();
}

INSTANTIATE_TEST_SUITE_P(
    States, OkWhereTheDrawingIs,
    ::testing::Values(OkCase{"InsideTheViewport", nullptr, nullptr},
                      OkCase{"PaperSpaceProper", "leave-viewport", nullptr},
                      OkCase{"ModelTab", "model-tab",
                             "The Model tab is active. Switch to a layout with a viewport to zoom to a scale."},
                      OkCase{"LockedViewport", "lock 2",
                             "The active viewport is locked. Unlock it to change its scale."}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(Zoom, DoubleClickOfARowZoomsAndTheWindowStays) {
    Session session(kSheet);
    ASSERT_TRUE(session.Up());
    auto& window = *session.window;
    window.DoubleClickRow(8);  // "1/4=1'-0"
    const auto calls = session.host.WaitForCall("Application.ZoomScaled(");
    ASSERT_TRUE(calls) << session.host.CallsText();
    const auto zooms = Matching(*calls, "Application.ZoomScaled(");
    ASSERT_EQ(zooms.size(), 1u);
    EXPECT_EQ(Arguments(zooms[0]), (std::vector<double>{1.0 / 48, 2})) << zooms[0];
    // Still there a timer tick later: the next attach reaches the host.
    const std::size_t seen = calls->size();
    EXPECT_TRUE(WaitUntil([&] { return session.host.Calls().size() > seen; }, kActionDeadline));
    EXPECT_TRUE(session.app->Process().Running());
    EXPECT_TRUE(VantrelWindow::Shown(session.Pid()));
    EXPECT_FALSE(MessageBoxShown(session.Pid()));
}

}  // namespace
}  // namespace vantrel::e2e
