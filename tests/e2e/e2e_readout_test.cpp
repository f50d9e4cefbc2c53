// "Current Scale" tells the active viewport's scale, whatever state the
// drawing was started in; a host failure under it shows the "App Error" box
// and the program goes on.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include "e2e_user.h"

namespace vantrel::e2e {
namespace {

struct ReadoutCase {
    const char* name;
    const char* state;      // where the user left the drawing
    const char* scale;      // the active viewport's CustomScale in the scenario
    const wchar_t* option;  // the scale type the user picks
    const char* message;    // what the box says
};

class Readout : public ::testing::TestWithParam<ReadoutCase> {};

// Whatever state the drawing was left in, the load zooms the sheet, not the
// viewport, so the readout is the scale the viewport had.
TEST_P(Readout, ShowsTheActiveViewportsScaleAsTheLoadFoundItInABoxTitledVantrel) {
    const ReadoutCase& c = GetParam();
    Session session(std::string("document Sheet1\n") + c.state + "viewport 1\nviewport " + c.scale + " on active\n");
    ASSERT_TRUE(session.Up());
    ASSERT_TRUE(session.host.WaitForCall("Document.MSpace=(true)")) << session.host.CallsText();
    EXPECT_EQ(Matching(session.host.Calls(), "Application.ZoomExtents()"),
              std::vector<std::string>{"Application.ZoomExtents() -> ok [sheet]"})
        << session.host.CallsText();
    auto& window = *session.window;
    window.Click(c.option);
    ASSERT_TRUE(WaitUntil([&] { return window.IsChecked(c.option); }, kActionDeadline));
    window.Click(L"Current Scale");
    const auto box = WaitForMessageBox(session.Pid());
    ASSERT_TRUE(box) << session.host.CallsText();
    EXPECT_EQ(box->title, "Vantrel");
    EXPECT_EQ(box->text, c.message);
    PressOk(*box);
    EXPECT_TRUE(WaitUntil([&] { return !MessageBoxShown(session.Pid()); }, kActionDeadline));
    EXPECT_TRUE(session.app->Process().Running());
}

INSTANTIATE_TEST_SUITE_P(
    Scales, Readout,
    ::testing::Values(
        ReadoutCase{"ModelTab", "space model\n", "1/48", L"Architectural", "0.25 = 1'-0"},
        // A layout left with model space on inside the viewport, then the Model tab.
        ReadoutCase{"ModelTabLeftInAViewport", "space model\nmspace on\n", "1/96", L"Architectural", "0.125 = 1'-0"},
        ReadoutCase{"InsideTheViewport", "space paper\nmspace on\n", "1/48", L"Architectural", "0.25 = 1'-0"},
        ReadoutCase{"PaperSpaceProper", "space paper\n", "0.02", L"Metric", "0.02"},
        ReadoutCase{"CivilInsideTheViewport", "space paper\nmspace on\n", "0.02", L"Civil", "0.02"}),
    [](const auto& param) { return std::string(param.param.name); });

std::string ErrorText(const char* location, std::int32_t number, const char* description) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(number));
    return std::string("Location:\t\t") + location + "\r\nSource:\t\t" + hex + "h   (" + std::to_string(number) +
           ")\r\nDescription:\t" + description;
}

TEST(ReadoutFailure, NoActiveViewportShowsAppErrorWithTheHostsCodeAndTheProgramGoesOn) {
    Session session("document Sheet1\nviewport 1\nviewport 1/48 on active\n");
    ASSERT_TRUE(session.Up());
    ASSERT_TRUE(session.host.WaitForCall("Document.MSpace="));
    // The host refuses the readout's call, once.
    ASSERT_TRUE(session.host.Send("fault Document.ActivePViewport 0x80210051 once No active paper space viewport"));
    session.window->Click(L"Current Scale");
    const auto box = WaitForMessageBox(session.Pid());
    ASSERT_TRUE(box) << session.host.CallsText();
    EXPECT_EQ(box->title, "App Error");
    EXPECT_EQ(box->text,
              ErrorText("CmdGetScale_Click", static_cast<std::int32_t>(0x80210051u), "No active paper space viewport"));
    PressOk(*box);
    EXPECT_TRUE(WaitUntil([&] { return !MessageBoxShown(session.Pid()); }, kActionDeadline));
    // The program goes on: the window is there and still acts on the host.
    EXPECT_TRUE(VantrelWindow::Shown(session.Pid()));
    session.window->DoubleClickRow(0);
    EXPECT_TRUE(session.host.WaitForCall("Application.ZoomScaled(")) << session.host.CallsText();
    EXPECT_TRUE(session.app->Process().Running());
}

}  // namespace
}  // namespace vantrel::e2e
