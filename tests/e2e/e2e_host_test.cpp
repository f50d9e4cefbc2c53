// The host as it changes under a running Vantrel: another drawing brought to
// the front, the host gone.
#include <gtest/gtest.h>

#include "e2e_user.h"

namespace vantrel::e2e {
namespace {

// Sheet2 is left as its user had it: paper space, model space active in a
// viewport at 1/8"=1'-0".
constexpr char kTwoDrawings[] = R"(document Sheet1
space model
viewport 1
viewport 1/48 on active
document Sheet2
space paper
mspace on
viewport 1
viewport 1/96 on active
)";

TEST(HostChanges, AnotherDrawingBroughtToTheFrontIsActedOnAsItIs) {
    Session session(kTwoDrawings);
    ASSERT_TRUE(session.Up());
    ASSERT_TRUE(session.host.WaitForCall("Document.MSpace="));
    ASSERT_TRUE(session.host.Send("activate 2"));
    const auto attached = session.host.WaitForCall("Application.ActiveDocument() -> Document \"Sheet2\"");
    ASSERT_TRUE(attached) << session.host.CallsText();
    const std::size_t from = *Find(*attached, "Document \"Sheet2\"");

    session.window->Click(L"Current Scale");
    const auto box = WaitForMessageBox(session.Pid());
    ASSERT_TRUE(box) << session.host.CallsText();
    EXPECT_EQ(box->text, "0.125 = 1'-0");  // Sheet2's viewport, not Sheet1's 1/48
    PressOk(*box);

    const auto calls = session.host.Calls();
    for (const char* preparation : {"Document.ActiveSpace=", "Application.ZoomExtents", "Document.MSpace="}) {
        EXPECT_FALSE(Find(calls, preparation, from)) << preparation << " after the switch:\n"
                                                     << session.host.CallsText();
    }
    const auto readout = Find(calls, "Document.ActivePViewport()", from);
    ASSERT_TRUE(readout) << session.host.CallsText();
    EXPECT_NE(calls[*readout].find("Sheet2"), std::string::npos) << calls[*readout];
}

TEST(HostChanges, AHostThatVanishesIsReportedWithinSecondsAndTheProgramEnds) {
    Session session("document Sheet1\nviewport 1\nviewport 1/48 on active\n");
    ASSERT_TRUE(session.Up());
    ASSERT_TRUE(session.host.WaitForCall("Document.MSpace="));
    ASSERT_TRUE(session.host.Vanish());
    // The next tick, within about a second, finds no host.
    const auto box = WaitForMessageBox(session.Pid(), 5s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->title, "Vantrel");
    EXPECT_EQ(box->text, "AutoCad Not Running");
    PressOk(*box);
    EXPECT_TRUE(session.app->Process().WaitForExit(kExitDeadline));
}

}  // namespace
}  // namespace vantrel::e2e
