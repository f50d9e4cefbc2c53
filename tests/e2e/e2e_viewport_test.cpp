// "Next VPort" on the sample sheet, whose layout also holds a title-block line
// and text: each click switches a floating viewport on, makes it active with
// model space and regenerates all viewports; a second run picks the same; a
// slow Regen changes nothing of that.
#include <gtest/gtest.h>

#include <map>

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

// A Regen of a large sheet takes seconds, and timer ticks come due meanwhile:
// the pass still ends with one Regen, with no box, and the program answers
// at once afterwards, on the viewport it activated.
TEST(NextVPort, ASlowRegenWhileTicksComeDueEndsOnceAndThenTheProgramAnswers) {
    Session session(SampleSheet());
    ASSERT_TRUE(session.Up());
    ASSERT_TRUE(session.host.WaitForCall("Document.MSpace=(true)")) << session.host.CallsText();
    ASSERT_TRUE(session.host.Send("slow Document.Regen 3500"));
    const std::size_t from = session.host.Calls().size();
    session.window->Click(L"Next VPort");
    bool boxSeen = false;
    std::vector<std::string> calls;
    ASSERT_TRUE(WaitUntil(
        [&] {
            boxSeen = boxSeen || MessageBoxShown(session.Pid());
            calls = session.host.Calls();
            return Find(calls, "Document.Regen(", from).has_value();
        },
        kActionDeadline + 4s))
        << session.host.CallsText();
    // Ticks that were due run now; none of them brings a box or a second Regen.
    const std::size_t seen = calls.size();
    EXPECT_TRUE(WaitUntil(
        [&] {
            boxSeen = boxSeen || MessageBoxShown(session.Pid());
            return Find(session.host.Calls(), "Application.ActiveDocument() -> Document", seen).has_value();
        },
        kActionDeadline));
    EXPECT_FALSE(boxSeen);
    calls = session.host.Calls();
    const auto regens = Matching(
        std::vector<std::string>(calls.begin() + static_cast<std::ptrdiff_t>(from), calls.end()), "Document.Regen(");
    EXPECT_EQ(regens, std::vector<std::string>{R"(Document.Regen(1) -> ok on Document "Sheet1")"})
        << session.host.CallsText();
    const auto activated = Find(calls, "Document.ActivePViewport=(AcDbViewport#", from);
    ASSERT_TRUE(activated) << session.host.CallsText();
    ASSERT_TRUE(session.app->Process().Running());

    // The sample sheet's floating viewports: #1 1/48, #2 1/96, #3 1/50.
    const std::map<std::string, std::string> readouts = {
        {"#1", "0.25 = 1'-0"}, {"#2", "0.125 = 1'-0"}, {"#3", "0.24 = 1'-0"}};
    const std::string& line = calls[*activated];
    const std::string item = line.substr(line.find('#'), 2);
    session.window->Click(L"Current Scale");
    const auto box = WaitForMessageBox(session.Pid());
    ASSERT_TRUE(box) << session.host.CallsText();
    EXPECT_EQ(box->title, "Vantrel");
    EXPECT_EQ(box->text, readouts.at(item)) << line;
    PressOk(*box);
    EXPECT_TRUE(WaitUntil([&] { return !MessageBoxShown(session.Pid()); }, kActionDeadline));
}

}  // namespace
}  // namespace vantrel::e2e
