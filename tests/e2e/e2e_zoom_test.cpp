// Zooming to the selected scale: "Ok" zooms once and ends the program, a
// double-click of a row zooms and leaves the window open, and a host that is
// busy for a while still gets the zoom.
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

TEST(Zoom, OkOnMetricOneToFiftyZoomsOnceBy0Point02RelativeToPaperThenEnds) {
    Session session(kSheet);
    ASSERT_TRUE(session.Up());
    auto& window = *session.window;
    window.Click(L"Metric");
    ASSERT_TRUE(window.WaitForRowCount(10));
    ASSERT_EQ(window.Rows().at(kMetricRowOneToFifty).at(0), "1:50");
    window.SelectRow(kMetricRowOneToFifty);
    window.Click(L"Ok");
    EXPECT_TRUE(session.app->Process().WaitForExit(kExitDeadline));
    const auto zooms = Matching(session.host.Calls(), "Application.ZoomScaled(");
    ASSERT_EQ(zooms.size(), 1u) << session.host.CallsText();
    EXPECT_EQ(Arguments(zooms[0]), (std::vector<double>{0.02, 2})) << zooms[0];
    EXPECT_NE(zooms[0].find("-> ok"), std::string::npos) << zooms[0];
}

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

TEST(Zoom, AHostBusyForTwoSecondsDuringOkStillGetsTheZoomAndNoBoxShows) {
    Session session(kSheet);
    ASSERT_TRUE(session.Up());
    auto& window = *session.window;
    window.Click(L"Metric");
    ASSERT_TRUE(window.WaitForRowCount(10));
    ASSERT_TRUE(session.host.Send("busy Application.ZoomScaled 2000"));
    window.SelectRow(kMetricRowOneToFifty);
    window.Click(L"Ok");
    EXPECT_TRUE(session.app->Process().WaitForExit(kExitDeadline));
    const auto calls = session.host.Calls();
    const auto zooms = Matching(calls, "Application.ZoomScaled(");
    ASSERT_GE(zooms.size(), 2u) << "the host was never busy:\n" << session.host.CallsText();
    EXPECT_NE(zooms.front().find("rejected 0x80010001"), std::string::npos) << zooms.front();
    EXPECT_NE(zooms.back().find("-> ok"), std::string::npos) << session.host.CallsText();
    EXPECT_EQ(Matching(calls, "ZoomScaled(0.02, 2) -> ok").size(), 1u) << session.host.CallsText();
    // The end itself shows that no box came: an error under "Ok" keeps the window open.
}

}  // namespace
}  // namespace vantrel::e2e
