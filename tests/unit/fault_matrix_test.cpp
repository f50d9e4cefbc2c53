// Every host call the window makes, failing in each of the ways a host fails,
// at every handler that makes it: the box and what it says, what the host was
// left with, and whether the program goes on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "TestWindow.h"
#include "base/Failure.h"

namespace {

using vantrel::StatusCode;
using vantrel::sim::Fault;
using vantrel::sim::FaultMode;
using vantrel::sim::JournalEntry;
using vantrel::testing::ErrorBox;
using vantrel::testing::HostState;
using vantrel::testing::kSheetScenario;
using vantrel::testing::NotRunningBox;
using vantrel::testing::ShownBox;
using vantrel::testing::TestWindow;
using vantrel::ui::Event;
using vantrel::ui::EventOutcome;
namespace status = vantrel::status;

struct HandlerUnderTest {
    const char* name;
    Event event;
    int index;                       // the option's index for Option1_Click
    const char* location;            // where a failure under it is reported; nullptr: no App Error box
    std::vector<std::string> calls;  // every host call it makes, in the order first made
};

const std::vector<std::string> kZoomCalls = {"Document.ActiveSpace", "Document.MSpace=",     "Document.ActivePViewport",
                                             "Entity.DisplayLocked", "Document.Application", "Application.ZoomScaled"};

const std::vector<HandlerUnderTest>& Handlers() {
    static const std::vector<HandlerUnderTest> handlers = {
        {"Load",
         Event::Load,
         0,
         "Form_Load",
         {"Locator.GetActiveObject", "Application.ActiveDocument", "Document.ActiveSpace",
          "Document.ActiveSpace=", "Document.MSpace=", "Document.Application", "Application.ZoomExtents"}},
        {"Tick", Event::TimerTick, 0, nullptr, {"Locator.GetActiveObject", "Application.ActiveDocument"}},
        {"Ok", Event::OkClick, 0, "CmdOK_Click", kZoomCalls},
        {"ListApply", Event::ListApply, 0, "LVscales_DblClick", kZoomCalls},
        {"CurrentScale",
         Event::GetScaleClick,
         0,
         "CmdGetScale_Click",
         {"Document.ActivePViewport", "Entity.CustomScale"}},
        {"NextVPort",
         Event::NextClick,
         0,
         "CmdNext_Click",
         {"Document.PaperSpace", "PaperSpace._NewEnum", "PaperSpace.Next", "Entity.ObjectName", "Entity.Display",
          "Document.MSpace=", "Document.ActivePViewport=", "Document.Regen"}},
        {"Option", Event::OptionClick, 2, nullptr, {}},
        {"Transparent", Event::TransparentClick, 0, nullptr, {}},
        {"Exit", Event::ExitClick, 0, nullptr, {}},
    };
    return handlers;
}

bool IsAttachCall(const std::string& call) {
    return call == "Locator.GetActiveObject" || call == "Application.ActiveDocument";
}

struct ErrorKind {
    const char* name;
    std::int32_t number;
    const char* description;
};

// A host error as the host raises it (DISP_E_EXCEPTION, its scode and text),
// the host's process gone from under a live reference, the RPC server gone,
// and a host too busy to answer within the retry window.
const std::vector<ErrorKind> kErrorKinds = {
    {"HostError", StatusCode(0x80210099), "Error in the drawing"},
    {"Disconnected", status::kDisconnected, "The object invoked has disconnected from its clients."},
    {"ServerUnavailable", status::kServerUnavailable, "The RPC server is unavailable."},
    {"Busy", status::kCallRejected, "Call was rejected by callee."},
};

// What the attach meets besides: the other busy answer, no running instance,
// running with no drawing open.
const std::vector<ErrorKind> kAttachErrorKinds = {
    {"RetryLater", status::kRetryLater, "The message filter indicated that the application is busy."},
    {"NotRunning", status::kUnavailable, "Operation unavailable"},
    {"NoDocument", status::kNoActiveDocument, "Failed to get the Document object"},
};

// The window ready for the handler: loaded, Architectural listed, row 9
// ("1/4=1'-0") selected, "Transparent" checked.
void Prepare(TestWindow& window, const HandlerUnderTest& handler) {
    window.controls.selectedRow = 9;
    window.controls.transparentState = vantrel::ui::kChecked;
    if (handler.event != Event::Load) {
        ASSERT_EQ(window.form->Raise(Event::Load), EventOutcome::Running);
        ASSERT_TRUE(window.controls.boxes.empty());
        window.host->ClearJournal();
    }
}

// The handler run without a fault: its calls, and the host as each call found it.
struct DryRun {
    std::vector<std::string> calls;
    std::vector<HostState> stateAtCall;
};

DryRun Dry(const HandlerUnderTest& handler) {
    TestWindow window(kSheetScenario);
    Prepare(window, handler);
    DryRun run;
    window.host->onCall = [&](const JournalEntry& entry) {
        run.calls.push_back(entry.call);
        run.stateAtCall.push_back(HostState::Of(*window.host));
    };
    window.form->Raise(handler.event, handler.index);
    return run;
}

class HandlerCalls : public ::testing::TestWithParam<HandlerUnderTest> {};

// The matrix below covers what this table lists; a handler that starts making
// another call fails here until the table names it.
TEST_P(HandlerCalls, AreExactlyTheOnesTheMatrixCovers) {
    const HandlerUnderTest& handler = GetParam();
    const DryRun run = Dry(handler);
    std::vector<std::string> distinct;
    for (const std::string& call : run.calls) {
        if (std::find(distinct.begin(), distinct.end(), call) == distinct.end()) {
            distinct.push_back(call);
        }
    }
    EXPECT_EQ(distinct, handler.calls);
}

INSTANTIATE_TEST_SUITE_P(Handlers, HandlerCalls, ::testing::ValuesIn(Handlers()),
                         [](const auto& test) { return std::string(test.param.name); });

// Every call the simulated host answers is made by some handler, so each is in
// the matrix at least once.
TEST(HandlerCallsTogether, AreEveryCallTheHostAnswers) {
    const std::set<std::string> hostCalls(vantrel::sim::kCallNames.begin(), vantrel::sim::kCallNames.end());
    std::set<std::string> made;
    for (const HandlerUnderTest& handler : Handlers()) {
        made.insert(handler.calls.begin(), handler.calls.end());
    }
    EXPECT_EQ(made, hostCalls);
}

struct MatrixCase {
    const HandlerUnderTest* handler;
    std::string call;
    int occurrence;                    // 0: the handler's first call of this name
    std::size_t callIndex;             // its place among all the handler's calls
    HostState hostAtCall;              // the host as that call found it
    bool checksDrawnViewport = false;  // "Next VPort" asking the drawn viewport its name again
};

std::vector<MatrixCase> AllCases() {
    std::vector<MatrixCase> cases;
    for (const HandlerUnderTest& handler : Handlers()) {
        const DryRun run = Dry(handler);
        for (std::size_t i = 0; i < run.calls.size(); ++i) {
            const auto occurrence = static_cast<int>(
                std::count(run.calls.begin(), run.calls.begin() + static_cast<std::ptrdiff_t>(i), run.calls[i]));
            const bool check =
                run.calls[i] == "Entity.ObjectName" && i + 1 < run.calls.size() && run.calls[i + 1] == "Entity.Display";
            cases.push_back({&handler, run.calls[i], occurrence, i, run.stateAtCall[i], check});
        }
    }
    return cases;
}

std::string CaseName(const MatrixCase& test) {
    std::string call;
    for (const char c : test.call) {
        if (c == '=') {
            call += "Put";
        } else if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            call += c;
        }
    }
    return std::string(test.handler->name) + "_" + call + "_" + std::to_string(test.occurrence + 1);
}

void PrintTo(const MatrixCase& test, std::ostream* out) { *out << CaseName(test); }

class FaultMatrix : public ::testing::TestWithParam<MatrixCase> {};

void FailWith(const MatrixCase& test, const ErrorKind& kind) {
    SCOPED_TRACE(kind.name);
    const HandlerUnderTest& handler = *test.handler;
    TestWindow window(kSheetScenario);
    Prepare(window, handler);
    const vantrel::host::Document* attachedBefore = window.form->AcadDoc().get();

    Fault fault;
    fault.call = test.call;
    fault.number = kind.number;
    fault.description = kind.description;
    fault.mode = FaultMode::AfterCalls;
    fault.afterCalls = test.occurrence;
    window.host->InjectFault(fault);
    // A modal box lets timer ticks through; none may open a second box.
    std::vector<EventOutcome> ticksUnderBox;
    window.controls.whileBoxOpen = [&](const ShownBox&) {
        if (window.controls.openBoxes == 1) {  // under a second box it would recurse without end
            ticksUnderBox.push_back(window.form->Raise(Event::TimerTick));
        }
    };

    const EventOutcome outcome = window.form->Raise(handler.event, handler.index);

    // It failed at that very call, and nothing was asked of the host after it.
    const auto& journal = window.host->Journal();
    ASSERT_EQ(journal.size(), test.callIndex + 1);
    EXPECT_EQ(journal.back().call, test.call);
    EXPECT_FALSE(journal.back().result.empty());
    EXPECT_TRUE(HostState::Of(*window.host) == test.hostAtCall) << "the host changed after the failing call";
    EXPECT_LE(window.controls.mostOpenBoxes, 1);
    EXPECT_EQ(ticksUnderBox, std::vector<EventOutcome>(ticksUnderBox.size(), EventOutcome::Running));

    const bool busy = vantrel::IsBusyStatus(kind.number);
    const bool zoom = handler.event == Event::OkClick || handler.event == Event::ListApply;
    if (busy && handler.event == Event::TimerTick) {
        // Busy is not gone: the attachment stays for the next tick.
        EXPECT_EQ(outcome, EventOutcome::Running);
        EXPECT_TRUE(window.controls.boxes.empty());
        EXPECT_EQ(window.form->AcadDoc().get(), attachedBefore);
    } else if (busy) {
        // Busy past the whole wait: the user is asked, and cancels (the
        // recording controls' answer). Cancelling the load ends the program.
        EXPECT_EQ(window.controls.boxes, std::vector<ShownBox>{vantrel::testing::kBusyBox});
        EXPECT_EQ(outcome, handler.event == Event::Load ? EventOutcome::Ended : EventOutcome::Running);
        if (outcome == EventOutcome::Ended) {
            window.form->ReleaseHost();  // as the program's end does
            EXPECT_EQ(window.host.use_count(), 1) << "a host reference outlived the program";
            return;
        }
    } else if (IsAttachCall(test.call)) {
        EXPECT_EQ(outcome, EventOutcome::Ended);
        EXPECT_EQ(window.controls.boxes, std::vector<ShownBox>{NotRunningBox()});
        window.form->ReleaseHost();  // as the program's end does
        EXPECT_EQ(window.host.use_count(), 1) << "a host reference outlived the program";
        return;
    } else if (test.checksDrawnViewport && vantrel::IsHostRefusal(kind.number)) {
        // The drawn viewport no longer answers as a viewport: nothing is activated.
        EXPECT_EQ(outcome, EventOutcome::Running);
        EXPECT_EQ(window.controls.boxes,
                  std::vector<ShownBox>{ErrorBox(handler.location, status::kUnexpected,
                                                 "Paper space changed while a viewport was being chosen")});
    } else if (zoom && test.call == "Document.MSpace=" && vantrel::IsHostRefusal(kind.number)) {
        // The host refuses to enter a viewport: none is switched on.
        EXPECT_EQ(outcome, EventOutcome::Running);
        EXPECT_EQ(window.controls.boxes, std::vector<ShownBox>{vantrel::testing::kNoViewportOnBox});
    } else {
        ASSERT_NE(handler.location, nullptr);
        EXPECT_EQ(outcome, EventOutcome::Running);
        EXPECT_EQ(window.controls.boxes,
                  std::vector<ShownBox>{ErrorBox(handler.location, kind.number, kind.description)});
    }

    // Alive: the next tick attaches as usual and shows nothing.
    window.host->ClearFaults();
    const std::size_t boxes = window.controls.boxes.size();
    EXPECT_EQ(window.form->Raise(Event::TimerTick), EventOutcome::Running);
    EXPECT_EQ(window.controls.boxes.size(), boxes);
    EXPECT_NE(window.form->AcadDoc(), nullptr);
}

// Each case one process under the sanitizers: the kinds of failure share it.
TEST_P(FaultMatrix, ShowsTheRulesBoxAndChangesNothingFurther) {
    const MatrixCase& test = GetParam();
    std::vector<ErrorKind> kinds = kErrorKinds;
    if (IsAttachCall(test.call)) {
        kinds.insert(kinds.end(), kAttachErrorKinds.begin(), kAttachErrorKinds.end());
    }
    for (const ErrorKind& kind : kinds) {
        FailWith(test, kind);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCall, FaultMatrix, ::testing::ValuesIn(AllCases()),
                         [](const auto& test) { return CaseName(test.param); });

}  // namespace
