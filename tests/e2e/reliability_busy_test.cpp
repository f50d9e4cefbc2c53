// A busy host: simcad rejects one kind of call for a while, as a host with a
// command or a modal dialog open does ("retry later", RPC_E_SERVERCALL_RETRYLATER),
// or refuses it outright (RPC_E_CALL_REJECTED). Within the program's retry
// window a user's action completes as if nothing happened; beyond it, or at
// once for a refusal, the user is asked to retry or cancel. A timer tick
// never waits. "AutoCad Not Running" never shows while the host is there.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "reliability_support.h"

namespace vantrel::e2e::reliability {
namespace {

// What a user does to make the program reach the held call.
enum class Action { Tick, CurrentScale, NextVPort, DoubleClickRow, Ok };

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
        case Action::Ok:
            session.window->SelectRow(3);
            session.window->Click(L"Ok");
            break;
    }
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
                       (busy.action != Action::CurrentScale || box.has_value());
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

// ---- busy for longer than the retry window, or refusing ----

// The box a user's action shows when the host stays busy.
constexpr char kBusyTextStart[] = "AutoCAD is busy";

bool IsBusyBox(const MessageBoxSeen& box) { return box.title == kAppTitle && box.text.starts_with(kBusyTextStart); }

// Presses the box's button and waits for the box to be gone, so that the
// next box looked for is a new one.
void Answer(const MessageBoxSeen& box, int id) {
    Press(box, id);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box.window); }, kActionDeadline));
}

// The rejections of `call` at or after `from`.
std::size_t Rejections(const std::vector<std::string>& calls, std::string_view call, std::size_t from) {
    return CountCalls(calls, {std::string(call) + "(", "-> rejected"}, from);
}

// Whether the action took effect at or after `from`.
bool ActionDone(const std::vector<std::string>& calls, Action action, std::size_t from) {
    switch (action) {
        case Action::Ok:
            return CountCalls(calls, {"Application.ZoomScaled(", "-> ok [viewport 2]"}, from) > 0;
        case Action::NextVPort:
            return CountCalls(calls, {"Document.Regen(1) -> ok"}, from) > 0;
        default:
            return false;
    }
}

struct LongBusy {
    const char* kind;
    const char* command;  // "busy" (retry later) or "refuse" (rejected outright)
    const char* call;     // journal name
    Action action;
    int answer;  // IDRETRY once the host is free, or IDCANCEL
    Milliseconds hold;
};

class LongBusyHost : public ::testing::TestWithParam<LongBusy> {};

TEST_P(LongBusyHost, TheUserIsAskedAndRetryDoesTheActionOnceWhileCancelLeavesTheWindowOpen) {
    const LongBusy param = GetParam();
    Session session(SampleSheet());
    ASSERT_TRUE(session.Up());
    ASSERT_TRUE(session.host.WaitForCall("Document.MSpace=(true)"));
    const std::size_t from = session.host.Calls().size();
    ASSERT_TRUE(
        session.host.Send(std::string(param.command) + " " + param.call + " " + std::to_string(param.hold.count())));
    Act(session, param.action);

    // The host's clock starts at the first rejection; it is free `hold` after.
    ASSERT_TRUE(WaitUntil([&] { return Rejections(session.host.Calls(), param.call, from) > 0; }, kActionDeadline))
        << session.host.CallsText();
    const auto firstRejection = std::chrono::steady_clock::now();
    const auto box = WaitForMessageBox(session.Pid(), kBeyondRetryDeadline);
    ASSERT_TRUE(box) << session.host.CallsText();
    EXPECT_TRUE(IsBusyBox(*box)) << box->title << ": " << box->text;
    // "Retry later" is retried for a while first; an outright refusal is not.
    const std::size_t rejections = Rejections(session.host.Calls(), param.call, from);
    if (std::string_view(param.command) == "busy") {
        EXPECT_GT(rejections, 2U) << session.host.CallsText();
    } else {
        EXPECT_EQ(rejections, 1U) << session.host.CallsText();
    }

    if (param.answer == IDRETRY) {
        std::this_thread::sleep_until(firstRejection + param.hold + 500ms);
        Answer(*box, IDRETRY);
        if (param.action == Action::Ok) {
            // Zoomed once, so the program ends.
            EXPECT_TRUE(session.app->Process().WaitForExit(kActionDeadline)) << session.host.CallsText();
            EXPECT_EQ(CountCalls(session.host.Calls(), {"Application.ZoomScaled("}, from), 1U)
                << session.host.CallsText();
            return;
        }
        if (param.action == Action::CurrentScale) {
            const auto readout = WaitForMessageBox(session.Pid(), kActionDeadline);
            ASSERT_TRUE(readout) << session.host.CallsText();
            EXPECT_EQ(readout->title, kAppTitle);
            EXPECT_EQ(readout->text, kSampleReadout);
            Answer(*readout, IDOK);
        } else {
            EXPECT_TRUE(
                WaitUntil([&] { return ActionDone(session.host.Calls(), param.action, from); }, kActionDeadline))
                << session.host.CallsText();
            EXPECT_EQ(CountCalls(session.host.Calls(), {"Document.Regen("}, from), 1U) << session.host.CallsText();
        }
    } else {
        Answer(*box, IDCANCEL);
    }

    // The window stays, attaching at its ticks, with no other box.
    std::optional<MessageBoxSeen> other;
    const std::size_t ticksBefore =
        CountCalls(session.host.Calls(), {"Application.ActiveDocument() -> Document"}, from);
    const bool ticked = WaitWatchingBoxes(
        [&] {
            return CountCalls(session.host.Calls(), {"Application.ActiveDocument() -> Document"}, from) >=
                   ticksBefore + 2;
        },
        session.Pid(), other, kActionDeadline);
    EXPECT_TRUE(ticked) << session.host.CallsText();
    EXPECT_FALSE(other) << other->title << ": " << other->text;
    EXPECT_TRUE(VantrelWindow::Shown(session.Pid()));
    if (param.answer == IDCANCEL) {
        EXPECT_FALSE(ActionDone(session.host.Calls(), param.action, from)) << session.host.CallsText();
    }
}

INSTANTIATE_TEST_SUITE_P(
    AtEachKindOfCall, LongBusyHost,
    ::testing::Values(LongBusy{"get", "busy", "Document.ActivePViewport", Action::CurrentScale, IDRETRY, 7s},
                      LongBusy{"put", "busy", "Document.MSpace=", Action::Ok, IDRETRY, 7s},
                      LongBusy{"method", "busy", "Application.ZoomScaled", Action::Ok, IDCANCEL, 20s},
                      LongBusy{"enumeration", "busy", "PaperSpace.Next", Action::NextVPort, IDRETRY, 7s},
                      LongBusy{"refused", "refuse", "Document.Regen", Action::NextVPort, IDCANCEL, 20s}),
    [](const auto& param) { return std::string(param.param.kind); });

// A timer tick never waits for the host: while the host is busy the window
// answers at once, and "Exit" ends the program.
TEST(LongBusyHostAtTheTicks, ExitEndsTheProgramAtOnce) {
    Session session(SampleSheet());
    ASSERT_TRUE(session.Up());
    ASSERT_TRUE(session.host.WaitForCall("Document.MSpace=(true)"));
    const std::size_t from = session.host.Calls().size();
    ASSERT_TRUE(session.host.Send("busy Application.ActiveDocument 20000"));
    std::optional<MessageBoxSeen> box;
    ASSERT_TRUE(
        WaitWatchingBoxes([&] { return Rejections(session.host.Calls(), "Application.ActiveDocument", from) >= 2; },
                          session.Pid(), box, kActionDeadline))
        << session.host.CallsText();
    EXPECT_FALSE(box) << box->title << ": " << box->text;
    // Pressed just after a rejection: a tick that waited for the host as a
    // user's action does (5 s) would hold the click until its wait is over.
    const auto pressed = std::chrono::steady_clock::now();
    session.window->Click(L"Exit");
    ASSERT_TRUE(session.app->Process().WaitForExit(kExitDeadline));
    const auto took = std::chrono::duration_cast<Milliseconds>(std::chrono::steady_clock::now() - pressed);
    EXPECT_LT(took, 1s) << took.count() << " ms\n" << session.host.CallsText();
}

// ---- busy during the load ----

// At the load there is no attachment to keep. A host busy for less than the
// retry window is waited for; one still busy after it is there all the same:
// the user is asked, never told it is not running.

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

class BusyHostPastTheRetryWindowAtTheLoad : public ::testing::TestWithParam<int> {};

TEST_P(BusyHostPastTheRetryWindowAtTheLoad, AsksAndRetryLoadsWhileCancelEndsTheProgram) {
    const int answer = GetParam();
    constexpr Milliseconds kHold = 7s;
    Simcad host(SampleSheet());
    ASSERT_TRUE(host.Ready());
    ASSERT_TRUE(host.Send("busy Application.ActiveDocument " + std::to_string(kHold.count())));
    Vantrel app;
    ASSERT_TRUE(host.WaitForCall("Application.ActiveDocument() -> rejected", kStartDeadline)) << host.CallsText();
    const auto firstRejection = std::chrono::steady_clock::now();
    const auto box = WaitForMessageBox(app.Process().Id(), kBeyondRetryDeadline);
    ASSERT_TRUE(box) << host.CallsText();
    EXPECT_TRUE(IsBusyBox(*box)) << box->title << ": " << box->text;
    EXPECT_GT(Rejections(host.Calls(), "Application.ActiveDocument", 0), 2U) << host.CallsText();
    EXPECT_FALSE(VantrelWindow::Shown(app.Process().Id()));

    if (answer == IDCANCEL) {
        Answer(*box, IDCANCEL);
        std::optional<MessageBoxSeen> other;
        EXPECT_TRUE(
            WaitWatchingBoxes([&] { return !app.Process().Running(); }, app.Process().Id(), other, kExitDeadline));
        EXPECT_FALSE(other) << other->title << ": " << other->text;
        EXPECT_EQ(app.Process().ExitCode(), DWORD{0});
        EXPECT_EQ(CountCalls(host.Calls(), {"Document."}, 0), 0U) << host.CallsText();
        return;
    }
    std::this_thread::sleep_until(firstRejection + kHold + 500ms);
    Answer(*box, IDRETRY);
    std::optional<MessageBoxSeen> other;
    EXPECT_TRUE(WaitWatchingBoxes([&] { return VantrelWindow::Shown(app.Process().Id()); }, app.Process().Id(), other,
                                  kActionDeadline));
    EXPECT_FALSE(other) << other->title << ": " << other->text;
    EXPECT_EQ(CountCalls(host.Calls(), {"Application.ZoomExtents() -> ok [sheet]"}, 0), 1U) << host.CallsText();
    EXPECT_EQ(CountCalls(host.Calls(), {"Document.MSpace=(true) -> ok"}, 0), 1U) << host.CallsText();
}

INSTANTIATE_TEST_SUITE_P(Answers, BusyHostPastTheRetryWindowAtTheLoad, ::testing::Values(IDRETRY, IDCANCEL),
                         [](const auto& param) { return std::string(param.param == IDRETRY ? "Retry" : "Cancel"); });

}  // namespace
}  // namespace vantrel::e2e::reliability
