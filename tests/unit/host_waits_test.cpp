// A host that rejects the window's calls or does not answer them, on the
// simulated host thread's clock: when the busy box shows, what Retry and
// Cancel do, and that ticks never wait.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Harness.h"

namespace vantrel::testing {
namespace {

using namespace std::chrono_literals;
using ui::MessageAnswer;

constexpr std::int32_t kCallRejected = StatusCode(0x80010001);  // RPC_E_CALL_REJECTED
constexpr std::int32_t kRetryLater = StatusCode(0x8001010A);    // RPC_E_SERVERCALL_RETRYLATER

sim::Fault RejectFor(const char* call, std::int32_t number, std::chrono::milliseconds duration) {
    return {.call = call,
            .number = number,
            .description = "The host is busy.",
            .mode = sim::FaultMode::ForDuration,
            .duration = duration};
}

std::size_t Answered(const sim::SimulatedHost& host, const std::string& call) {
    std::size_t count = 0;
    for (const sim::JournalEntry& entry : host.Journal()) {
        if (entry.call == call && entry.result.empty()) {
            ++count;
        }
    }
    return count;
}

struct WaitCase {
    const char* name;
    Event event;
    std::function<void(sim::SimulatedHost&)> hold;  // how the host holds the action
    MessageAnswer answer;                           // to the busy box
    // When the busy box shows, counted from the event; none: it never does.
    std::optional<std::chrono::milliseconds> boxFrom;
    std::optional<std::chrono::milliseconds> boxUntil;
    const char* effect;  // the call that changes the drawing, and how often it was made
    std::size_t made;
    bool ends;
};

class HostHolds : public ::testing::TestWithParam<WaitCase> {};

// Rejections are sent again quietly; waiting is charged to one budget of
// about 5 s, and a call without an answer uses it up. Retry waits on, Cancel
// sends nothing more. Either way no step is made twice.
TEST_P(HostHolds, TheUserIsAskedOnlyOnceTheBudgetIsSpent) {
    const WaitCase& test = GetParam();
    TestWindow window;
    if (test.event != Event::Load) {
        window.Loaded();
    }
    window.controls.selectedRow = 9;  // 1/4=1'-0
    window.controls.busyAnswer = test.answer;
    test.hold(*window.host);

    const auto start = window.thread.Now();
    std::optional<std::chrono::milliseconds> boxAt;
    std::size_t sentBeforeBox = 0;
    bool inFlightUnderBox = false;
    window.controls.whileBoxOpen = [&] {
        boxAt = std::chrono::duration_cast<std::chrono::milliseconds>(window.thread.Now() - start);
        sentBeforeBox = window.host->Journal().size();
        inFlightUnderBox = window.thread.actionShown;
    };
    bool inFlightAtEveryCall = true;
    window.host->onCall = [&](const sim::JournalEntry&) {
        inFlightAtEveryCall = inFlightAtEveryCall && window.thread.actionShown;
    };

    window.Raise(test.event);
    EXPECT_EQ(window.Ended(), test.ends);
    window.host->onCall = nullptr;

    EXPECT_EQ(Answered(*window.host, test.effect), test.made) << window.host->JournalText();
    EXPECT_TRUE(inFlightAtEveryCall) << "the wait cursor was off during a host call";
    EXPECT_FALSE(window.thread.actionShown) << "the wait cursor stayed on after the action";
    if (!test.boxFrom) {
        EXPECT_TRUE(window.controls.boxes.empty()) << window.controls.boxes.front();
        return;
    }
    ASSERT_FALSE(window.controls.boxes.empty());
    EXPECT_EQ(window.controls.boxes.front(), kBusyBox);
    ASSERT_TRUE(boxAt);
    EXPECT_GE(*boxAt, *test.boxFrom);
    EXPECT_LE(*boxAt, *test.boxUntil);
    EXPECT_FALSE(inFlightUnderBox) << "the wait cursor was on over the box";
    if (test.answer == MessageAnswer::Cancel) {
        EXPECT_EQ(window.host->Journal().size(), sentBeforeBox) << "a call was sent after Cancel";
        EXPECT_EQ(window.controls.boxes.size(), 1u) << "an error box followed Cancel";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Actions, HostHolds,
    ::testing::Values(WaitCase{"OkRejectedFor2500ms", Event::OkClick,
                               [](sim::SimulatedHost& host) {
                                   host.InjectFault(RejectFor("Application.ZoomScaled", kCallRejected, 2500ms));
                               },
                               MessageAnswer::Cancel, std::nullopt, std::nullopt, "Application.ZoomScaled", 1, true},
                      WaitCase{"OkBusyPastTheBudgetThenRetry", Event::OkClick,
                               [](sim::SimulatedHost& host) {
                                   host.InjectFault(RejectFor("Application.ZoomScaled", kRetryLater, 9000ms));
                               },
                               MessageAnswer::Retry, 4500ms, 5000ms, "Application.ZoomScaled", 1, true},
                      WaitCase{"OkHungThenCancel", Event::OkClick, [](sim::SimulatedHost& host) { host.Hang(20s); },
                               MessageAnswer::Cancel, 5000ms, 5000ms, "Application.ZoomScaled", 0, false},
                      WaitCase{"OkHungThenRetryWaitsOnTheSameCall", Event::OkClick,
                               [](sim::SimulatedHost& host) { host.Hang(8s); }, MessageAnswer::Retry, 5000ms, 5000ms,
                               "Document.ActiveSpace", 1, true},
                      WaitCase{"OkSlowCallsThatAnswerNeverAsk", Event::OkClick,
                               [](sim::SimulatedHost& host) {
                                   host.SetSlowCall("Document.ActiveSpace", 4s);
                                   host.SetSlowCall("Application.ZoomScaled", 4s);
                               },
                               MessageAnswer::Cancel, std::nullopt, std::nullopt, "Application.ZoomScaled", 1, true},
                      WaitCase{"LoadHungThenCancelEndsWithoutNotRunning", Event::Load,
                               [](sim::SimulatedHost& host) { host.Hang(20s); }, MessageAnswer::Cancel, 5000ms, 5000ms,
                               "Application.ZoomExtents", 0, true},
                      WaitCase{"NextVPortRegenPastTheBudgetThenRetryRegeneratesOnce", Event::NextViewportClick,
                               [](sim::SimulatedHost& host) { host.SetSlowCall("Document.Regen", 7s); },
                               MessageAnswer::Retry, 5000ms, 5000ms, "Document.Regen", 1, false}),
    [](const auto& test) { return std::string(test.param.name); });

// While an action waits, the window keeps dispatching: a click that reaches
// it then (from a message, not as input) starts no second host action; the
// option buttons and the check box, which already changed their own state,
// take effect; Exit still ends.
TEST(ActionInFlight, StartsNoSecondHostAction) {
    TestWindow plain;
    plain.Loaded();
    plain.controls.selectedRow = 9;
    plain.Raise(Event::OkClick);

    TestWindow window;
    window.Loaded();
    window.controls.selectedRow = 9;
    window.controls.transparentState = ui::kChecked;
    std::vector<int> endsAfterEach;
    window.host->onCall = [&](const sim::JournalEntry&) {
        window.host->onCall = nullptr;
        for (const Event event :
             {Event::OkClick, Event::RowApplied, Event::CurrentScaleClick, Event::NextViewportClick, Event::Load,
              Event::ScaleSystemChosen, Event::TransparentClick, Event::ExitClick, Event::Close}) {
            window.RaiseAlone(event, 2);
            endsAfterEach.push_back(window.controls.ends);
        }
    };
    window.Raise(Event::OkClick);

    const std::vector<int> onlyExitAndCloseEnd{0, 0, 0, 0, 0, 0, 0, 1, 2};
    EXPECT_EQ(endsAfterEach, onlyExitAndCloseEnd);
    EXPECT_EQ(window.host->JournalText(), plain.host->JournalText()) << "a second host action ran";
    const std::vector<std::pair<ui::NativeWindow, std::uint8_t>> translucent{{ui::NativeWindow::Main, 186},
                                                                             {ui::NativeWindow::List, 100}};
    EXPECT_EQ(window.controls.opacity, translucent);
    EXPECT_EQ(window.controls.rows.size(), 11u) << "Civil's table";
    EXPECT_TRUE(window.controls.boxes.empty());
}

// A tick's answer that arrives while an action is in flight is dropped: the
// action keeps the document it started on, and the next tick asks again.
TEST(Ticks, AnAnswerThatArrivesDuringAnActionIsDropped) {
    TestWindow window(std::string(kSheetScenario) + "document Other\nspace paper\nviewport 1\n");
    window.Loaded();
    const host::Document* loaded = window.form->Document().get();
    window.host->activeDocument = 1;
    window.host->SetSlowCall("Application.ActiveDocument", 2s);
    window.RaiseAlone(Event::TimerTick);
    window.host->onCall = [&](const sim::JournalEntry& entry) {
        if (entry.call == "Application.ZoomScaled") {
            window.RaiseAlone(Event::HostAnswer);
        }
    };
    window.controls.selectedRow = 9;
    window.RaiseAlone(Event::RowApplied);
    EXPECT_EQ(window.form->Document().get(), loaded);
    EXPECT_TRUE(window.controls.boxes.empty());
    window.host->onCall = nullptr;
    window.host->ClearJournal();
    window.RaiseAlone(Event::TimerTick);
    EXPECT_EQ(window.host->Journal().size(), 2u) << "the next tick did not ask again";
    window.thread.Advance(2s);
    window.RaiseAlone(Event::HostAnswer);
    EXPECT_NE(window.form->Document().get(), loaded);
}

// A tick posts its attach and returns at once; while the host thread is on
// it, later ticks are skipped; the answer, once it comes, is the attachment.
TEST(Ticks, NeverWaitAndAreSkippedWhileTheHostThreadIsBusy) {
    TestWindow window;
    window.Loaded();
    const host::Document* loaded = window.form->Document().get();
    window.host->Hang(20s);
    const auto start = window.thread.Now();

    window.RaiseAlone(Event::TimerTick);

    EXPECT_FALSE(window.Ended());
    EXPECT_EQ(window.thread.Now(), start) << "the tick waited";
    window.RaiseAlone(Event::HostAnswer);
    EXPECT_FALSE(window.Ended());
    EXPECT_EQ(window.form->Document().get(), loaded) << "an answer was used before it came";
    window.thread.Advance(1s);
    window.RaiseAlone(Event::TimerTick);
    EXPECT_FALSE(window.Ended());
    EXPECT_EQ(window.host->Journal().size(), 2u) << "a tick did not skip: " << window.host->JournalText();

    window.thread.Advance(20s);
    window.RaiseAlone(Event::HostAnswer);
    EXPECT_FALSE(window.Ended());
    EXPECT_NE(window.form->Document().get(), loaded);
    EXPECT_NE(window.form->Document(), nullptr);
    EXPECT_TRUE(window.controls.boxes.empty());
}

}  // namespace
}  // namespace vantrel::testing
