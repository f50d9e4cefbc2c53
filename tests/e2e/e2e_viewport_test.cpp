// "Next VPort" on the sample sheet, whose layout also holds a title-block line
// and text: each click switches a floating viewport on, makes it active with
// model space and regenerates all viewports; a second run picks the same.
#include <gtest/gtest.h>

#include "e2e_user.h"

namespace vantrel::e2e {
namespace {

constexpr int kClicks = 3;

// The viewport each click activated, as simcad names it ("AcDbViewport#2").
std::vector<std::string> ClickNextVPort(int clicks) {
    std::vector<std::string> picks;
    Session session(SampleSheet());
    EXPECT_TRUE(session.Up());
    if (!session.Up()) return picks;
    EXPECT_TRUE(session.host.WaitForCall("Document.MSpace="));
    std::size_t from = session.host.Calls().size();
    for (int click = 0; click < clicks; ++click) {
        session.window->Click(L"Next VPort");
        std::vector<std::string> calls;
        EXPECT_TRUE(WaitUntil(
            [&] {
                calls = session.host.Calls();
                return Find(calls, "Document.Regen(", from).has_value();
            },
            kActionDeadline))
            << session.host.CallsText();
        const auto display = Find(calls, "Entity.Display(true) -> ok on AcDbViewport#", from);
        if (!display) {
            ADD_FAILURE() << "no viewport switched on:\n" << session.host.CallsText();
            return picks;
        }
        const std::string viewport = calls[*display].substr(calls[*display].rfind(' ') + 1);
        EXPECT_NE(viewport, "AcDbViewport#0") << "the sheet's own viewport";
        // Then, in this order: model space on, the viewport made active, all regenerated.
        const auto mspace = Find(calls, "Document.MSpace=(true) -> ok", *display);
        const auto active =
            mspace ? Find(calls, "Document.ActivePViewport=(" + viewport + ") -> ok", *mspace) : std::nullopt;
        const auto regen = active ? Find(calls, "Document.Regen(1) -> ok", *active) : std::nullopt;
        EXPECT_TRUE(mspace && active && regen) << session.host.CallsText();
        picks.push_back(viewport);
        from = calls.size();
    }
    EXPECT_FALSE(MessageBoxShown(session.Pid()));
    return picks;
}

TEST(NextVPort, ActivatesAFloatingViewportPastTheTitleBlockAndTheSamePicksOnASecondRun) {
    const auto first = ClickNextVPort(kClicks);
    ASSERT_EQ(first.size(), static_cast<std::size_t>(kClicks));
    const auto second = ClickNextVPort(kClicks);
    EXPECT_EQ(second, first);
}

}  // namespace
}  // namespace vantrel::e2e
