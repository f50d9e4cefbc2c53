// "Current Scale" tells the active viewport's scale; a host failure under it
// shows the "App Error" box and the program goes on.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include "e2e_user.h"

namespace vantrel::e2e {
namespace {

struct ReadoutCase {
    const char* scale;      // the active viewport's CustomScale in the scenario
    const wchar_t* option;  // the scale type the user picks
    const char* message;    // what the box says
};

class Readout : public ::testing::TestWithParam<ReadoutCase> {};

TEST_P(Readout, ShowsTheActiveViewportsScaleInABoxTitledVantrel) {
    const ReadoutCase& c = GetParam();
    Session session(std::string("document Sheet1\nviewport 1\nviewport ") + c.scale + " on active\n");
    ASSERT_TRUE(session.Up());
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

INSTANTIATE_TEST_SUITE_P(Scales, Readout,
                         ::testing::Values(ReadoutCase{"1/48", L"Architectural", "0.25 = 1'-0"},
                                           ReadoutCase{"1/96", L"Architectural", "0.125 = 1'-0"},
                                           ReadoutCase{"0.02", L"Metric", "0.02"},
                                           ReadoutCase{"0.02", L"Civil", "0.02"}));

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
    // The host loses its active viewport: model space.
    ASSERT_TRUE(session.host.Send("fault Document.ActivePViewport 0x80210051 always No active paper space viewport"));
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
