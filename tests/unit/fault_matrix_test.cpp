// Every host call the window makes, failing in each of the ways a host fails,
// at every handler that makes it: the box and what it says, what the host was
// left with, and whether the program goes on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Harness.h"
#include "base/Failure.h"

namespace vantrel::testing {
namespace {

// What the host holds: compared before and after a failure.
using HostState = std::vector<sim::SimDocument>;

bool IsAttachCall(const std::string& call) {
    return call == "Locator.GetActiveObject" || call == "Application.ActiveDocument";
}

// What a status means, as the COM and host documentation give it: written
// here by hand, so that the product's own reading of it can be wrong.
enum class Meaning {
    Refused,  // the host's own refusal: DISP_E_EXCEPTION, with its scode 0x8021xxxx or none
    Gone,     // the host's process, or its object, is no longer there
    Busy,     // the host rejected the call for now: sent again, never "gone"
};

struct ErrorKind {
    const char* name;
    std::int32_t number;
    const char* description;
    Meaning meaning;
};

// A host error as the host raises it (DISP_E_EXCEPTION, its scode and text;
// or DISP_E_EXCEPTION alone, as the documentation leaves most refusals),
// the host's process gone from under a live reference, and a host that
// rejects the call (its message filter's SERVERCALL_REJECTED reaches the
// caller as RPC_E_CALL_REJECTED).
const std::vector<ErrorKind> kErrorKinds = {
    {"HostError", StatusCode(0x80210099), "Error in the drawing", Meaning::Refused},
    {"HostErrorWithoutCode", StatusCode(0x80020009), "Exception occurred.", Meaning::Refused},
    {"Disconnected", StatusCode(0x80010108), "The object invoked has disconnected from its clients.", Meaning::Gone},
    {"Busy", StatusCode(0x80010001), "Call was rejected by callee.", Meaning::Busy},
};

// What the attach meets besides: the other busy answer
// (RPC_E_SERVERCALL_RETRYLATER), no running instance (MK_E_UNAVAILABLE),
// running with no drawing open.
const std::vector<ErrorKind> kAttachErrorKinds = {
    {"RetryLater", StatusCode(0x8001010A), "The message filter indicated that the application is busy.", Meaning::Busy},
    {"NotRunning", StatusCode(0x800401E3), "Operation unavailable", Meaning::Gone},
    {"NoDocument", StatusCode(0x8021003C), "Failed to get the Document object", Meaning::Gone},
};

// The window ready for the handler: loaded, Architectural listed, row 9 ("1/4=1'-0") selected.
void Prepare(TestWindow& window, const Handler& handler) {
    window.controls.selectedRow = 9;
    if (handler.event != Event::Load) {
        window.RaiseAlone(Event::Load);
        ASSERT_FALSE(window.Ended());
        ASSERT_TRUE(window.controls.boxes.empty());
        window.host->ClearJournal();
    }
}

// The handler run without a fault: its calls, the host as each call found it, how it ended.
struct DryRun {
    std::vector<std::string> calls;
    std::vector<HostState> stateAtCall;
    bool ends;
    std::vector<ShownBox> boxes;
    HostState end;
};

DryRun Dry(const Handler& handler) {
    TestWindow window;
    Prepare(window, handler);
    DryRun run;
    window.host->onCall = [&](const sim::JournalEntry& entry) {
        run.calls.push_back(entry.call);
        run.stateAtCall.push_back(window.host->documents);
    };
    window.Raise(handler.event);
    run.ends = window.Ended();
    run.boxes = window.controls.boxes;
    run.end = window.host->documents;
    return run;
}

struct MatrixCase {
    const Handler* handler;
    std::shared_ptr<const DryRun> plain;  // the handler without a fault
    std::string call;
    int occurrence;                    // 0: the handler's first call of this name
    std::size_t callIndex;             // its place among all the handler's calls
    bool checksDrawnViewport = false;  // "Next VPort" asking the drawn viewport its name again
};

std::string CaseName(const MatrixCase& test) {
    std::string call;
    for (const char c : test.call) {
        if (c == '=') call += "Put";
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) call += c;
    }
    return std::string(test.handler->name) + "_" + call + "_" + std::to_string(test.occurrence + 1);
}

void PrintTo(const MatrixCase& test, std::ostream* out) { *out << CaseName(test); }

std::vector<MatrixCase> AllCases() {
    std::vector<MatrixCase> cases;
    for (const Handler& handler : kHandlers) {
        const auto plain = std::make_shared<const DryRun>(Dry(handler));
        const std::vector<std::string>& calls = plain->calls;
        for (std::size_t i = 0; i < calls.size(); ++i) {
            const auto occurrence =
                static_cast<int>(std::count(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(i), calls[i]));
            const bool check =
                calls[i] == "Entity.ObjectName" && i + 1 < calls.size() && calls[i + 1] == "Entity.Display";
            cases.push_back({&handler, plain, calls[i], occurrence, i, check});
        }
    }
    return cases;
}

// Each handler makes exactly its calls, and every call the simulated host
// answers is made by some handler, so each is in the matrix.
TEST(FaultMatrixCalls, AreEachHandlersOwnAndEveryCallTheHostAnswers) {
    std::set<std::string> made;
    for (const Handler& handler : kHandlers) {
        std::string calls;
        for (const std::string& call : Dry(handler).calls) {
            calls += calls.empty() ? call : " " + call;
            made.insert(call);
        }
        EXPECT_EQ(calls, handler.calls) << handler.name;
    }
    EXPECT_EQ(made, std::set<std::string>(sim::kCallNames.begin(), sim::kCallNames.end()));
}

// Runs the handler with the call failing from the case's occurrence on, and
// the user answering a busy box with `answer`; Retry once the host answers again.
struct FaultRun {
    FaultRun(const MatrixCase& test, const ErrorKind& kind, ui::MessageAnswer answer) {
        Prepare(window, *test.handler);
        attachedBefore = window.form->Document().get();
        window.host->InjectFault(sim::Fault{.call = test.call,
                                            .number = kind.number,
                                            .description = kind.description,
                                            .mode = sim::FaultMode::AfterCalls,
                                            .afterCalls = test.occurrence});
        window.controls.busyAnswer = answer;
        // A modal box lets timer ticks through; none may open a second box.
        window.controls.whileBoxOpen = [this, answer] {
            if (window.controls.openBoxes == 1) {
                const int endsBefore = window.controls.ends;
                window.Raise(Event::TimerTick);
                endsByTicksUnderBox += window.controls.ends - endsBefore;
            }
            if (answer == ui::MessageAnswer::Retry) {
                window.host->ClearFaults();
            }
        };
        window.Raise(test.handler->event);
    }
    TestWindow window;
    const host::Document* attachedBefore = nullptr;
    int endsByTicksUnderBox = 0;
};

void FailWith(const MatrixCase& test, const ErrorKind& kind) {
    SCOPED_TRACE(kind.name);
    const Handler& handler = *test.handler;
    FaultRun run(test, kind, ui::MessageAnswer::Cancel);
    TestWindow& window = run.window;

    // It failed at that very call, and nothing else was asked of the host
    // after it: a user's action sends a rejected call again, quietly, until
    // its budget is spent; a tick sends it once.
    const bool busy = kind.meaning == Meaning::Busy;
    const bool tick = handler.event == Event::TimerTick;
    const auto& journal = window.host->Journal();
    ASSERT_GT(journal.size(), test.callIndex);
    if (tick && !busy) {
        // A tick that finds no host looks once more (of two instances, the
        // one in front may have been going away), then gives up.
        const std::vector<std::string> once(
            test.plain->calls.begin(), test.plain->calls.begin() + static_cast<std::ptrdiff_t>(test.callIndex) + 1);
        std::vector<std::string> twice = once;
        twice.insert(twice.end(), once.begin(), once.end());
        std::vector<std::string> made;
        for (const sim::JournalEntry& entry : journal) {
            made.push_back(entry.call);
        }
        EXPECT_EQ(made, twice);
    } else {
        std::size_t sent = 0;
        for (std::size_t i = test.callIndex; i < journal.size(); ++i) {
            EXPECT_EQ(journal[i].call, test.call) << i;
            ++sent;
        }
        if (busy && !tick) {
            EXPECT_GT(sent, 5u);
            EXPECT_LT(sent, 30u);
        } else {
            EXPECT_EQ(sent, 1u);
        }
    }
    EXPECT_TRUE(window.host->documents == test.plain->stateAtCall[test.callIndex])
        << "the host changed after the failing call";
    EXPECT_EQ(run.endsByTicksUnderBox, 0);

    const bool zoom = handler.event == Event::OkClick || handler.event == Event::RowApplied;
    const bool refused = kind.meaning == Meaning::Refused;
    std::vector<ShownBox> boxes;
    bool ends = false;
    if (busy && tick) {
        // Busy is not gone: the attachment stays for the next tick.
        EXPECT_EQ(window.form->Document().get(), run.attachedBefore);
    } else if (busy) {
        // Busy past the whole budget: the user is asked. Cancelling the load
        // ends the program; Retry once the host answers ends exactly as if it
        // had never been busy: no step made twice, the same viewport drawn.
        boxes = {kBusyBox};
        ends = handler.event == Event::Load;
        const DryRun& plain = *test.plain;
        FaultRun retried(test, kind, ui::MessageAnswer::Retry);
        EXPECT_EQ(retried.window.Ended(), plain.ends);
        std::vector<ShownBox> retriedBoxes{kBusyBox};
        retriedBoxes.insert(retriedBoxes.end(), plain.boxes.begin(), plain.boxes.end());
        EXPECT_EQ(retried.window.controls.boxes, retriedBoxes);
        EXPECT_TRUE(retried.window.host->documents == plain.end) << "a step was made again";
    } else if (IsAttachCall(test.call)) {
        boxes = {kNotRunningBox};
        ends = true;
    } else if (test.checksDrawnViewport && refused) {
        // The drawn viewport no longer answers as a viewport: nothing is activated.
        boxes = {
            ErrorBox(handler.location, status::kUnexpected, "Paper space changed while a viewport was being chosen")};
    } else if (zoom && test.call == "Document.MSpace=" && refused) {
        boxes = {kNoViewportOnBox};  // the host refuses to enter a viewport: none is switched on
    } else {
        ASSERT_NE(handler.location, nullptr);
        boxes = {ErrorBox(handler.location, kind.number, kind.description)};
    }
    EXPECT_EQ(window.Ended(), ends);
    EXPECT_EQ(window.controls.boxes, boxes);
    if (ends) {
        EXPECT_EQ(window.host.use_count(), 1) << "a host reference outlived the program";
        return;
    }

    // Alive: the next tick attaches as usual and shows nothing.
    window.host->ClearFaults();
    window.Raise(Event::TimerTick);
    EXPECT_FALSE(window.Ended());
    EXPECT_EQ(window.controls.boxes, boxes);
    EXPECT_NE(window.form->Document(), nullptr);
}

class FaultMatrix : public ::testing::TestWithParam<MatrixCase> {};

// Each case one process under the sanitizers: the kinds of failure share it.
TEST_P(FaultMatrix, ShowsTheRulesBoxAndChangesNothingFurther) {
    const MatrixCase& test = GetParam();
    std::vector<ErrorKind> kinds = kErrorKinds;
    if (IsAttachCall(test.call)) kinds.insert(kinds.end(), kAttachErrorKinds.begin(), kAttachErrorKinds.end());
    for (const ErrorKind& kind : kinds) {
        FailWith(test, kind);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCall, FaultMatrix, ::testing::ValuesIn(AllCases()),
                         [](const auto& test) { return CaseName(test.param); });

}  // namespace
}  // namespace vantrel::testing
