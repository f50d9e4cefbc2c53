// A busy host: simcad rejects one kind of call (RPC_E_CALL_REJECTED) for a
// while, as a host with a modal dialog open does. Within the program's retry
// window the action completes as if nothing happened; beyond it the handler's
// rule applies. "AutoCad Not Running" never shows while the host is there.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "reliability_support.h"

namespace vantrel::e2e::reliability {
namespace {

// What a user does to make the program reach the held call.
enum class Action { Tick, CurrentScale, NextVPort, DoubleClickRow };

struct BusyCall {
    const char* kind;
    const char* call;  // journal name
    Action action;
    const char* done;  // a journal call that shows the action completed
};

// Starts the action; for a tick there is nothing to do but wait.
void Act(Session& session, Action action) {
    switch (action) {
        case Action::Tick:
            break;
        case Action::CurrentScale:
            session.window->Click(L"Current Scale");
            break;
        case Action::NextVPort:
            session.window->Click(L"Next VPort");
            break;
        case Action::DoubleClickRow:
            session.window->DoubleClickRow(3);
            break;
    }
}

// The journal line at or after `from` that contains both fragments, if any.
bool HasCall(const std::vector<std::string>& calls, std::string_view call, std::string_view result, std::size_t from) {
    return CountCalls(calls, {call, result}, from) > 0;
}

// Whether the call was answered (not rejected) at or after `from`.
bool LetThrough(const std::vector<std::string>& calls, std::string_view call, std::size_t from) {
    const std::string opening = std::string(call) + "(";
    for (std::size_t i = from; i < calls.size(); ++i) {
        if (calls[i].starts_with(opening) && calls[i].find("rejected") == std::string::npos) return true;
    }
    return false;
}

// The first rejection of the call at or after `from`.
std::optional<std::size_t> FirstRejected(const std::vector<std::string>& calls, std::string_view call,
                                         std::size_t from) {
    const std::string opening = std::string(call) + "(";
    for (std::size_t i = from; i < calls.size(); ++i) {
        if (calls[i].starts_with(opening) && calls[i].find("-> rejected") != std::string::npos) return i;
    }
    return std::nullopt;
}

// ---- busy for less than the retry window ----

class ShortlyBusyHost : public ::testing::TestWithParam<BusyCall> {};

TEST_P(ShortlyBusyHost, TheActionCompletesWithNoBox) {
    const BusyCall busy = GetParam();
    Session session(SampleSheet());
    ASSERT_TRUE(session.Up());
    ASSERT_TRUE(session.host.WaitForCall("Document.MSpace="));

    for (const int ms : {1000, 3000}) {
        SCOPED_TRACE(std::string(busy.call) + " busy for " + std::to_string(ms) + " ms");
        const std::size_t from = session.host.Calls().size();
        ASSERT_TRUE(session.host.Send("busy " + std::string(busy.call) + " " + std::to_string(ms)));
        Act(session, busy.action);

        // Rejected first, then let through, and the action goes on to its end.
        std::optional<MessageBoxSeen> box;
        const bool completed = WaitWatchingBoxes(
            [&] {
                const auto calls = session.host.Calls();
                // The first rejection: a tick may still get through before the command.
                const auto rejected = FirstRejected(calls, busy.call, from);
                return rejected && LetThrough(calls, busy.call, *rejected + 1) &&
                       CountCalls(calls, {busy.done}, *rejected) > 0 &&
                       (busy.action != Action::CurrentScale || MessageBoxShown(session.Pid()));
            },
            session.Pid(), box, kBeyondRetryDeadline);
        ASSERT_TRUE(completed) << session.host.CallsText();
        // Nothing failed on the way: the rejections were retried, not passed on.
        const auto calls = session.host.Calls();
        EXPECT_EQ(CountCalls(calls, {"error"}, from), 0U) << session.host.CallsText();

        if (busy.action == Action::CurrentScale) {
            // The readout itself is the action's one box.
            ASSERT_TRUE(box);
            EXPECT_EQ(box->title, kAppTitle);
            EXPECT_EQ(box->text, kSampleReadout);
            PressOk(*box);
            ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box->window); }, kActionDeadline));
        } else {
            EXPECT_FALSE(box) << box->title << ": " << box->text;
        }
        ASSERT_TRUE(session.app->Process().Running());
    }
}

INSTANTIATE_TEST_SUITE_P(
    AtEachKindOfCall, ShortlyBusyHost,
    ::testing::Values(BusyCall{"attach", "Application.ActiveDocument", Action::Tick,
                               "Application.ActiveDocument() -> Document"},
                      BusyCall{"get", "Document.ActivePViewport", Action::CurrentScale, "Entity.CustomScale("},
                      BusyCall{"put", "Document.ActivePViewport=", Action::NextVPort, "Document.Regen("},
                      BusyCall{"method", "Application.ZoomScaled", Action::DoubleClickRow, "Application.ZoomScaled("},
                      BusyCall{"enumeration", "PaperSpace.Next", Action::NextVPort, "Document.Regen("}),
    [](const auto& param) { return std::string(param.param.kind); });

// ---- busy for longer than the retry window ----

struct LongBusy {
    BusyCall busy;
    const char* location;  // the guarded handler's box, or nothing for a tick
};

class LongBusyHost : public ::testing::TestWithParam<LongBusy> {};

TEST_P(LongBusyHost, TheHandlersRuleAppliesAndTheProgramGoesOn) {
    const LongBusy param = GetParam();
    const BusyCall& busy = param.busy;
    Session session(SampleSheet());
    ASSERT_TRUE(session.Up());
    ASSERT_TRUE(session.host.WaitForCall("Document.MSpace="));
    const std::size_t from = session.host.Calls().size();
    ASSERT_TRUE(session.host.Send("busy " + std::string(busy.call) + " 8000"));
    Act(session, busy.action);

    if (param.location != nullptr) {
        // A guarded handler gives up after the retry window and says so.
        const auto box = WaitForMessageBox(session.Pid(), kBeyondRetryDeadline);
        ASSERT_TRUE(box) << session.host.CallsText();
        EXPECT_EQ(box->title, kErrorTitle);
        EXPECT_NE(box->text.find(param.location), std::string::npos) << box->text;
        EXPECT_NE(box->text.find("80010001"), std::string::npos) << box->text;  // the rejection's code
        EXPECT_FALSE(HasCall(session.host.Calls(), busy.done, "", from)) << "the handler went on past the failure";
        PressOk(*box);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box->window); }, kActionDeadline));
    }

    // Then the program lives on: two more ticks attach, and no box shows.
    std::optional<MessageBoxSeen> box;
    const std::size_t ticksBefore =
        CountCalls(session.host.Calls(), {"Application.ActiveDocument() -> Document"}, from);
    const bool ticked = WaitWatchingBoxes(
        [&] {
            const auto calls = session.host.Calls();
            return CountCalls(calls, {"Application.ActiveDocument() -> Document"}, from) >= ticksBefore + 2;
        },
        session.Pid(), box, kBeyondRetryDeadline);
    ASSERT_TRUE(ticked) << session.host.CallsText();
    EXPECT_FALSE(box) << box->title << ": " << box->text;
    EXPECT_TRUE(HasCall(session.host.Calls(), std::string(busy.call) + "(", "rejected", from))
        << "the host was never busy:\n"
        << session.host.CallsText();

    // The attachment is the host's: the readout works on it. (A "Next VPort"
    // that failed at its Regen has made its viewport active already.)
    session.window->Click(L"Current Scale");
    const auto readout = WaitForMessageBox(session.Pid(), kBeyondRetryDeadline);
    ASSERT_TRUE(readout);
    EXPECT_EQ(readout->title, kAppTitle);
    EXPECT_TRUE(readout->text.ends_with(" = 1'-0")) << readout->text;
    PressOk(*readout);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(readout->window); }, kActionDeadline));
    EXPECT_TRUE(session.app->Process().Running());
}

INSTANTIATE_TEST_SUITE_P(
    AtEachKindOfCall, LongBusyHost,
    ::testing::Values(
        LongBusy{{"attach", "Application.ActiveDocument", Action::Tick, "-"}, nullptr},
        LongBusy{{"get", "Document.ActivePViewport", Action::CurrentScale, "Entity.CustomScale("}, "CmdGetScale_Click"},
        LongBusy{{"put", "Document.ActivePViewport=", Action::NextVPort, "Document.Regen("}, "CmdNext_Click"},
        LongBusy{{"method", "Document.Regen", Action::NextVPort, "Document.Regen(1) -> ok"}, "CmdNext_Click"},
        LongBusy{{"enumeration", "PaperSpace.Next", Action::NextVPort, "Entity.Display("}, "CmdNext_Click"}),
    [](const auto& param) { return std::string(param.param.busy.kind); });

// ---- busy during the load ----

// At the load there is no attachment to keep. A host busy for less than the
// retry window is waited for; one still busy after it is an attach failure,
// as a host that is not there, because the window has nothing to act on.

TEST(BusyHostAtTheLoad, WithinTheRetryWindowTheWindowOpensWithNoBox) {
    Simcad host(SampleSheet());
    ASSERT_TRUE(host.Ready());
    ASSERT_TRUE(host.Send("busy Application.ActiveDocument 3000"));
    Vantrel app;
    std::optional<MessageBoxSeen> box;
    const bool shown = WaitWatchingBoxes([&] { return box || VantrelWindow::Shown(app.Process().Id()); },
                                         app.Process().Id(), box, kBeyondRetryDeadline);
    if (box) PressOk(*box);
    EXPECT_FALSE(box) << box->title << ": " << box->text << "\n" << host.CallsText();
    EXPECT_TRUE(shown) << host.CallsText();
    EXPECT_GT(CountCalls(host.Calls(), {"Application.ActiveDocument(", "rejected"}, 0), 0U) << host.CallsText();
    EXPECT_GT(CountCalls(host.Calls(), {"Document.MSpace=(true) -> ok"}, 0), 0U) << host.CallsText();
}

TEST(BusyHostAtTheLoad, PastTheRetryWindowItIsAnAttachFailure) {
    Simcad host(SampleSheet());
    ASSERT_TRUE(host.Ready());
    ASSERT_TRUE(host.Send("busy Application.ActiveDocument 15000"));
    const auto started = std::chrono::steady_clock::now();
    Vantrel app;
    std::optional<MessageBoxSeen> box;
    WaitWatchingBoxes([&] { return box || VantrelWindow::Shown(app.Process().Id()); }, app.Process().Id(), box,
                      kBeyondRetryDeadline);
    ASSERT_TRUE(box) << host.CallsText();
    // Not at the first rejection: only after the calls were retried for a while.
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(4)) << host.CallsText();
    EXPECT_EQ(box->title, kAppTitle);
    EXPECT_EQ(box->text, kNotRunningText);
    EXPECT_FALSE(VantrelWindow::Shown(app.Process().Id()));
    PressOk(*box);
    EXPECT_TRUE(WaitUntil([&] { return !app.Process().Running(); }, kActionDeadline));
}

}  // namespace
}  // namespace vantrel::e2e::reliability
