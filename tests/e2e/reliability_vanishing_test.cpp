// The host vanishing under Vantrel: simcad ends like a crashed process while
// the load, or a "Next VPort" pass, is at a given call. The call is held
// there by a busy host (which the program retries), so the end lands exactly
// at that point. Whatever the point, the program neither crashes nor hangs:
// a guarded handler may report the broken call, then "AutoCad Not Running"
// says the host is gone, and the program ends once it is closed.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "reliability_support.h"

namespace vantrel::e2e::reliability {
namespace {

// The sample sheet's drawing in model space, so that the load also writes
// ActiveSpace.
constexpr char kSheet[] = R"(document Sheet1
space model
viewport 1
viewport 1/48 on active
viewport 1/96 on
viewport 1/50 on
entity AcDbLine
entity AcDbText
)";

// Long enough that only the end of simcad releases the call.
constexpr char kHoldMs[] = "120000";

// Every box before the last reports a broken call under `location`; the last
// says the host is gone; then the process has ended normally.
void ExpectReportedThenEnded(const Ending& ending, std::string_view location) {
    ASSERT_TRUE(ending.ended) << "still running (hung?): " << ending;
    EXPECT_EQ(ending.exitCode, DWORD{0}) << ending;  // not a crash
    ASSERT_FALSE(ending.boxes.empty()) << ending;
    EXPECT_EQ(ending.boxes.back().title, kAppTitle) << ending;
    EXPECT_EQ(ending.boxes.back().text, kNotRunningText) << ending;
    for (std::size_t i = 0; i + 1 < ending.boxes.size(); ++i) {
        EXPECT_EQ(ending.boxes[i].title, kErrorTitle) << ending;
        EXPECT_NE(ending.boxes[i].text.find(location), std::string::npos) << ending;
    }
    EXPECT_LE(ending.boxes.size(), 2U) << ending;
}

// ---- during the load ----

struct LoadPoint {
    const char* call;     // journal name of the call the load is held at
    bool failsTheAttach;  // the attach itself: no other box before the last
};

class HostVanishesDuringTheLoad : public ::testing::TestWithParam<LoadPoint> {};

TEST_P(HostVanishesDuringTheLoad, NoCrashNoHangAndNotRunningThenTheEnd) {
    const LoadPoint point = GetParam();
    Simcad host(kSheet);
    ASSERT_TRUE(host.Ready());
    ASSERT_TRUE(host.Send(std::string("busy ") + point.call + " " + kHoldMs));
    Vantrel app;
    ASSERT_TRUE(host.WaitForCall(std::string(point.call) + "(", kStartDeadline)) << host.CallsText();
    ASSERT_TRUE(host.Vanish());

    const Ending ending = FollowToTheEnd(app.Process());
    ExpectReportedThenEnded(ending, "Form_Load");
    if (point.failsTheAttach) {
        EXPECT_EQ(ending.boxes.size(), 1U) << ending;
    }
    std::cout << "vanished at " << point.call << ": " << ending << "\n";
}

INSTANTIATE_TEST_SUITE_P(
    AtEachCall, HostVanishesDuringTheLoad,
    ::testing::Values(LoadPoint{"Application.ActiveDocument", true}, LoadPoint{"Document.ActiveSpace", false},
                      LoadPoint{"Document.ActiveSpace=", false}, LoadPoint{"Document.Application", false},
                      LoadPoint{"Application.ZoomExtents", false}, LoadPoint{"Document.MSpace=", false}),
    [](const auto& param) {
        std::string name = param.param.call;
        for (char& c : name) {
            if (c == '.') c = '_';
            if (c == '=') c = 'W';
        }
        return name;
    });

// ---- during "Next VPort" ----

class HostVanishesDuringNextVPort : public ::testing::TestWithParam<const char*> {};

TEST_P(HostVanishesDuringNextVPort, NoCrashNoHangAndNotRunningThenTheEnd) {
    const std::string call = GetParam();
    Session session(kSheet);
    ASSERT_TRUE(session.Up());
    ASSERT_TRUE(session.host.WaitForCall("Document.MSpace="));
    ASSERT_TRUE(session.host.Send("busy " + call + " " + kHoldMs));
    const std::size_t from = session.host.Calls().size();
    session.window->Click(L"Next VPort");
    ASSERT_TRUE(WaitUntil([&] { return Find(session.host.Calls(), call + "(", from).has_value(); }, kActionDeadline))
        << session.host.CallsText();
    ASSERT_TRUE(session.host.Vanish());

    const Ending ending = FollowToTheEnd(session.app->Process());
    ExpectReportedThenEnded(ending, "CmdNext_Click");
    std::cout << "vanished at " << call << ": " << ending << "\n";
}

INSTANTIATE_TEST_SUITE_P(AtEachKindOfCall, HostVanishesDuringNextVPort,
                         ::testing::Values("Document.PaperSpace", "PaperSpace.Next", "Entity.ObjectName",
                                           "Entity.Display", "Document.ActivePViewport=", "Document.Regen"),
                         [](const auto& param) {
                             std::string name = param.param;
                             for (char& c : name) {
                                 if (c == '.') c = '_';
                                 if (c == '=') c = 'W';
                             }
                             return name;
                         });

// A sheet long enough that a pass takes a while: the host ends while the
// program is somewhere in it, with no call held.
std::string LongSheet(int items) {
    std::string text = "document Long\nspace paper\nmspace on\nviewport 1\n";
    for (int i = 1; i < items; ++i) text += i % 25 == 1 ? "viewport 1/48 on\n" : "entity AcDbLine\n";
    return text;
}

// Enumeration round trips ("PaperSpace.Next") at or after `from`, and how
// many of them ended a pass (handed out fewer items than asked for).
struct Batches {
    std::size_t count = 0;
    int passEnds = 0;
};

Batches CountBatches(const std::vector<std::string>& calls, std::size_t from) {
    Batches batches;
    for (std::size_t i = from; i < calls.size(); ++i) {
        unsigned long asked = 0;
        unsigned long handed = 0;
        if (std::sscanf(calls[i].c_str(), "PaperSpace.Next(celt=%lu) -> %lu items", &asked, &handed) != 2) continue;
        ++batches.count;
        if (handed < asked) ++batches.passEnds;
    }
    return batches;
}

// The host ends once the pass has fetched a second batch.
TEST(HostVanishesMidPass, NoCrashNoHangAndNotRunningThenTheEnd) {
    Session session(LongSheet(200));
    ASSERT_TRUE(session.Up());
    ASSERT_TRUE(session.host.WaitForCall("Document.MSpace="));
    const std::size_t from = session.host.Calls().size();
    session.window->Click(L"Next VPort");
    ASSERT_TRUE(WaitUntil([&] { return CountBatches(session.host.Calls(), from).count >= 2; }, 60s))
        << "the pass never got that far:\n"
        << session.host.CallsText();
    ASSERT_TRUE(session.host.Vanish());
    // The journal is complete now: the pass had not reached its end.
    ASSERT_EQ(CountBatches(session.host.Calls(), from).passEnds, 0) << "the pass was over before the host vanished";

    const Ending ending = FollowToTheEnd(session.app->Process());
    ExpectReportedThenEnded(ending, "CmdNext_Click");
    std::cout << "vanished mid-pass: " << ending << "\n";
}

}  // namespace
}  // namespace vantrel::e2e::reliability
