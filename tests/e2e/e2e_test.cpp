// The real vantrel.exe under Wine, driven from another process as a user would, against simcad serving the
// sample sheet: the sheet's own viewport, floating ones at 1/4"=1'-0" (active), 1/8"=1'-0" and 1:50, a title block.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <thread>

#include "driver/Driver.h"

namespace vantrel::e2e {
namespace {

using namespace driver;

// Reached only when something is wrong, even on a loaded two-core machine.
constexpr Milliseconds kStartDeadline = 30s;
constexpr Milliseconds kActionDeadline = 10s;
constexpr char kNotRunning[] = "Vantrel: AutoCad Not Running";
// The box of an action whose host calls used up their time (about 5 s): Retry or Cancel.
constexpr char kBusyBoxStart[] = "Vantrel: AutoCAD is busy or not answering";
// The box comes once the action's time is spent: not much before 5 s, and in time even on a loaded machine.
constexpr double kBusyBoxNotBeforeMs = 4000.0;
constexpr Milliseconds kBusyBoxDeadline = 12s;
// Exit, the close box and Cancel end the program at once; this bound only says "not held by the host".
constexpr Milliseconds kEndDeadline = 2s;
// "Ok" on Metric's "1:50" zooms the active floating viewport, item 2 of paper space.
constexpr char kZoomTo150[] = "Application.ZoomScaled(0.02, 2) -> ok [viewport 2]";

// The process's message box once one shows (null if none does).
HWND WaitForBox(DWORD processId, Milliseconds timeout = kActionDeadline) {
    HWND box = nullptr;
    const auto shown = [&] {
        box = MessageBoxOf(processId);
        return box != nullptr;
    };
    WaitFor(shown, timeout);
    return box;
}

// Presses a button of the box (IDOK, IDRETRY, ...); true once the box is gone.
bool Answer(HWND box, int id) {
    Click(GetDlgItem(box, id));
    return WaitFor([&] { return !IsWindow(box); }, kActionDeadline);
}

// simcad serving the sample sheet, and vantrel.exe once started.
struct Session {
    Session()
        : host(WindowsPath(VANTREL_SIMCAD_EXE), WindowsPath(VANTREL_SAMPLE_SHEET),
               WindowsPath(VANTREL_E2E_WORK_DIR "/journal.txt")) {}

    // Starts vantrel.exe and, unless told not to, waits for its window.
    bool Start(bool untilShown = true) {
        if (!host.Ready()) return false;
        app.emplace(WindowsPath(VANTREL_EXE), L"");
        const auto shown = [&] {
            window = TopLevel(app->Id(), L"Standard Scales");
            if (window == nullptr) return false;
            list = FindWindowExW(window, nullptr, L"SysListView32", nullptr);
            return list != nullptr;
        };
        return !untilShown || WaitFor(shown, kStartDeadline);
    }
    HWND Button(const wchar_t* caption) const { return FindWindowExW(window, nullptr, L"Button", caption); }
    void Click(const wchar_t* caption) const { driver::Click(Button(caption)); }
    // The user's click with the mouse, which the window holds back while an action is in flight (but Exit).
    void MouseClick(const wchar_t* caption) const { driver::MouseClick(Button(caption)); }
    // The window's close box, as the window manager delivers it.
    void CloseBox() const { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }
    // Metric's table, its "1:50" row (the 8th) selected; false when the table did not come.
    bool SelectMetric150() const {
        Click(L"Metric");
        if (!WaitFor([&] { return ListRowCount(list) == 10; }, kActionDeadline)) return false;
        SelectRow(list, 7);
        return true;
    }
    // Started, Metric's "1:50" selected, and then the host held by simcad's command; false when a step failed.
    bool StartOnMetric150AndHold(const std::string& hold) { return Start() && SelectMetric150() && host.Send(hold); }
    std::string AnswerBox() {  // the next box's text, once it is answered with OK; empty when none shows
        const HWND box = WaitForBox(app->Id());
        if (box == nullptr) return "";
        const std::string text = BoxText(box);
        return Answer(box, IDOK) ? text : "";
    }
    // Waits up to `timeout` for the program's end or a box of it: the box's text, empty when none showed.
    std::string BoxBeforeTheEnd(Milliseconds timeout) {
        HWND box = nullptr;
        const auto boxOrEnd = [&] {
            box = MessageBoxOf(app->Id());
            return box != nullptr || !app->Running();
        };
        WaitFor(boxOrEnd, timeout, 5ms);
        return box != nullptr ? BoxText(box) : "";
    }
    // After a refusal the window stays, attaching at its ticks with no box, and only the load zoomed.
    void ExpectStays() {
        const std::size_t seen = host.Calls().size();
        EXPECT_TRUE(WaitFor([&] { return host.Count("ActiveDocument() -> Document", seen) >= 2; }, kActionDeadline));
        EXPECT_FALSE(MessageBoxOf(app->Id()));
        EXPECT_EQ(host.Count("-> ok ["), 1u) << host.CallsText();
    }

    Simcad host;  // first: vantrel.exe ends before its host
    std::optional<Process> app;
    HWND window = nullptr;
    HWND list = nullptr;
};

TEST(Start, WithoutAHostSaysNotRunningAndEndsNeverShowingItsWindow) {
    Process app(WindowsPath(VANTREL_EXE), L"");
    bool shown = false;
    const auto ended = [&] {
        if (TopLevel(app.Id(), L"Standard Scales") != nullptr) shown = true;
        return !app.Running();
    };
    const bool boxOrEnd = WaitFor([&] { return ended() || MessageBoxOf(app.Id()) != nullptr; }, kStartDeadline);
    ASSERT_TRUE(boxOrEnd);
    const HWND box = MessageBoxOf(app.Id());
    ASSERT_TRUE(box) << "ended without a box";
    EXPECT_EQ(BoxText(box), kNotRunning);
    const bool answered = Answer(box, IDOK);
    ASSERT_TRUE(answered);
    EXPECT_TRUE(WaitFor(ended, kActionDeadline));
    EXPECT_FALSE(shown);
    EXPECT_EQ(app.ExitCode(), DWORD{0});
}

TEST(Manifest, AsksForCommonControls6AndPerMonitorV2AndNamesWindows8AmongItsSystems) {
    const HMODULE exe = LoadLibraryExW(WindowsPath(VANTREL_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HRSRC resource = exe ? FindResourceW(exe, MAKEINTRESOURCEW(1), RT_MANIFEST) : nullptr;
    ASSERT_TRUE(resource);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(exe, resource))),
                               SizeofResource(exe, resource));
    FreeLibrary(exe);
    const char* wanted[] = {R"(<dependentAssembly>\s*<assemblyIdentity[^>]*name="Microsoft\.Windows\.Common-Controls")"
                            R"([^>]*version="6\.0\.0\.0")",
                            R"(<dpiAwareness[^>]*>\s*PerMonitorV2)",
                            R"(<supportedOS\s+Id="\{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38\}")"};
    for (const char* pattern : wanted) EXPECT_TRUE(std::regex_search(manifest, std::regex(pattern))) << pattern;
}

struct OkCase {
    const char* name;
    bool startsInViewport;  // else the drawing starts on the Model tab
    const char* move;       // the user's move in the host after the load, if any
    const char* refusal;    // the box "Ok" shows instead of zooming, if any
};
void PrintTo(const OkCase& row, std::ostream* out) { *out << row.name; }

class Ok : public ::testing::TestWithParam<OkCase> {};

// The load, over before the window shows, zoomed the sheet once and nothing else: the active viewport (item 2)
// kept its 1/4"=1'-0". "Ok" zooms it to 1:50 and ends; where there is none to zoom it says why, the window stays.
TEST_P(Ok, AfterALoadThatZoomedOnlyTheSheetZoomsTheActiveViewportThenEndsOrSaysWhyNot) {
    Session session;
    if (GetParam().startsInViewport) {
        const bool onTheLayout = session.host.Send("user layout");
        ASSERT_TRUE(onTheLayout);
        const bool inTheViewport = session.host.Send("user enter-viewport");
        ASSERT_TRUE(inTheViewport);
    }
    const bool started = session.Start();
    ASSERT_TRUE(started);
    EXPECT_EQ(session.host.Count("ZoomExtents() -> ok [sheet]"), 1u) << session.host.CallsText();
    EXPECT_EQ(session.host.Count("-> ok ["), 1u) << session.host.CallsText();
    session.Click(L"Current Scale");
    const std::string readout = session.AnswerBox();
    EXPECT_EQ(readout, "Vantrel: 0.25 = 1'-0");
    if (GetParam().move) {
        const bool moved = session.host.Send(std::string("user ") + GetParam().move);
        ASSERT_TRUE(moved);
    }
    const bool selected = session.SelectMetric150();
    ASSERT_TRUE(selected);
    session.Click(L"Ok");
    if (!GetParam().refusal) {
        EXPECT_TRUE(session.app->WaitForExit(kActionDeadline));
        EXPECT_EQ(session.host.Count("ZoomScaled("), 1u) << session.host.CallsText();
        EXPECT_EQ(session.host.Count(kZoomTo150), 1u);
        return;
    }
    const std::string refusal = session.AnswerBox();
    EXPECT_EQ(refusal, std::string("Vantrel: ") + GetParam().refusal) << session.host.CallsText();
    session.ExpectStays();
}

INSTANTIATE_TEST_SUITE_P(
    WhereTheDrawingIs, Ok,
    ::testing::Values(OkCase{"InsideTheViewport", false, nullptr, nullptr},
                      OkCase{"StartedInsideTheViewport", true, nullptr, nullptr},
                      OkCase{"PaperSpaceProper", false, "leave-viewport", nullptr},
                      OkCase{"ModelTab", false, "model-tab",
                             "The Model tab is active. Switch to a layout with a viewport to zoom to a scale."},
                      OkCase{"LockedViewport", false, "lock 2",
                             "The active viewport is locked. Unlock it to change its scale."}),
    [](const auto& param) { return std::string(param.param.name); });

// A Regen of a large sheet takes seconds while ticks come due: still one Regen, and no box.
TEST(NextVPort, ActivatesAFloatingViewportPastTheTitleBlockThroughASlowRegen) {
    Session session;
    const bool started = session.Start();
    ASSERT_TRUE(started);
    const bool slowed = session.host.Send("slow Document.Regen 3500");
    ASSERT_TRUE(slowed);
    session.Click(L"Next VPort");
    std::string calls;
    const auto ticked = [&] {  // after the Regen
        calls = session.host.CallsText();
        return calls.find("ActiveDocument(", calls.find("Document.Regen(")) != std::string::npos;
    };
    ASSERT_TRUE(WaitFor(ticked, kActionDeadline + 4s)) << calls;
    EXPECT_EQ(session.host.Count("Document.Regen("), 1u) << calls;
    // The viewport made active had been switched on, then all were regenerated.
    const std::regex pass(
        R"(Display\(true\) -> ok on (\S+)[\s\S]*ActivePViewport=\(\1\) -> ok[\s\S]*Regen\(1\) -> ok)");
    EXPECT_TRUE(std::regex_search(calls, pass)) << calls;
    EXPECT_FALSE(MessageBoxOf(session.app->Id()));
}

// Tab goes round in the designed order, stopping at the checked option button; the arrow keys choose
// among the option buttons; Enter and Escape press nothing: the focus stays, no call but the ticks'.
TEST(Keys, TabGoesInTabOrderArrowsChooseAnOptionEnterAndEscapePressNothing) {
    Session session;
    const bool started = session.Start();
    ASSERT_TRUE(started);
    ASSERT_TRUE(WaitFor([&] { return Focus(session.window) == session.list; }, kActionDeadline));
    const std::size_t from = session.host.Calls().size();
    const std::pair<WORD, const wchar_t*> steps[] = {{VK_TAB, L"Exit"},          {VK_TAB, L"Ok"},
                                                     {VK_TAB, L"Current Scale"}, {VK_TAB, L"Architectural"},
                                                     {VK_RIGHT, L"Machine"},     {VK_LEFT, L"Architectural"},
                                                     {VK_LEFT, L"Metric"},       {VK_RETURN, L"Metric"},
                                                     {VK_ESCAPE, L"Metric"},     {VK_TAB, L"Next VPort"},
                                                     {VK_TAB, L"Transparent"},   {VK_TAB, nullptr},
                                                     {VK_RETURN, nullptr},       {VK_ESCAPE, nullptr},
                                                     {VK_TAB, L"Exit"},          {VK_TAB, L"Ok"},
                                                     {VK_TAB, L"Current Scale"}, {VK_TAB, L"Metric"}};
    for (const auto& [key, caption] : steps) {
        PressKey(Focus(session.window), key);
        const HWND expected = caption ? session.Button(caption) : session.list;
        const bool chooses = key == VK_LEFT || key == VK_RIGHT;
        ASSERT_TRUE(WaitFor([&] { return Focus(session.window) == expected && (!chooses || IsChecked(expected)); },
                            kActionDeadline))
            << "key " << key << ": not on " << (caption ? caption : L"the list");
    }
    EXPECT_EQ(ListRowCount(session.list), 10);  // Metric's table
    EXPECT_EQ(session.host.Count("", from), session.host.Count("Application.ActiveDocument(", from))
        << session.host.CallsText();
}

// How the user ends the program in the end.
enum class Ending { CancelAlone, ExitButton, CloseBox };

struct HangCase {
    const char* name;
    int hangMs;             // the host hangs this long from before the user's step
    bool windowFirst;       // the window is up when the host hangs; else the hang meets the load
    const wchar_t* button;  // clicked once the host hangs, with Metric's "1:50" selected; none: a tick meets it
    bool asks;              // the busy box shows, and is answered Cancel; else the end comes 1.5 s into the hang
    Ending ending;
};
void PrintTo(const HangCase& row, std::ostream* out) { *out << row.name; }

class HostHangs : public ::testing::TestWithParam<HangCase> {};

// A host that computes answers nothing, not even a rejection. The window does not wait for it: an action asks
// after about 5 s, and Cancel at the load, or Exit or the close box at any time, ends the program at once while
// the host still hangs, with no other box: a hung host is never "not running", and no zoom is ever made.
TEST_P(HostHangs, ExitOrCancelEndTheProgramAtOnceWhileTheHostStillHangs) {
    const HangCase& hang = GetParam();
    Session session;
    if (hang.windowFirst) {
        const bool started = session.Start();
        ASSERT_TRUE(started);
    }
    if (hang.button) {
        const bool selected = session.SelectMetric150();
        ASSERT_TRUE(selected);
    }
    const bool hung = session.host.Send("hang " + std::to_string(hang.hangMs));
    ASSERT_TRUE(hung);
    const double stepped = NowMs();
    if (!hang.windowFirst) {
        const bool started = session.Start(false);
        ASSERT_TRUE(started);
    }
    if (hang.button) session.Click(hang.button);
    if (hang.asks) {
        const HWND box = WaitForBox(session.app->Id(), kBusyBoxDeadline);
        const double boxMs = NowMs() - stepped;
        ASSERT_TRUE(box) << "no box in " << boxMs << " ms";
        EXPECT_GE(boxMs, kBusyBoxNotBeforeMs);
        const std::string text = BoxText(box);
        EXPECT_TRUE(text.starts_with(kBusyBoxStart)) << text;
        const bool cancelled = Answer(box, IDCANCEL);
        ASSERT_TRUE(cancelled);
    } else {
        // Ticks come every second: one tick's attach now waits on the host.
        std::this_thread::sleep_for(1500ms);
    }
    const double ended = NowMs();
    if (hang.ending == Ending::ExitButton) session.MouseClick(L"Exit");
    if (hang.ending == Ending::CloseBox) session.CloseBox();
    const std::string box = session.BoxBeforeTheEnd(kEndDeadline);
    const double endMs = NowMs() - ended;
    std::printf("[  FIGURE  ] %s: the program ended %.0f ms after the user's last step\n", hang.name, endMs);
    std::fflush(stdout);
    EXPECT_EQ(box, "");
    EXPECT_FALSE(session.app->Running()) << "still running " << endMs << " ms after the user's last step";
    EXPECT_EQ(session.app->ExitCode(), DWORD{0});
    EXPECT_TRUE(session.host.Hanging()) << "the host was free before the end: the check proved nothing";
    const bool over = WaitFor([&] { return !session.host.Hanging(); }, Milliseconds(hang.hangMs));
    ASSERT_TRUE(over);
    EXPECT_EQ(session.host.Count("-> ok [viewport"), 0u) << session.host.CallsText();
}

INSTANTIATE_TEST_SUITE_P(Steps, HostHangs,
                         ::testing::Values(HangCase{"TickThenExit", 5000, true, nullptr, false, Ending::ExitButton},
                                           HangCase{"OkThenExit", 5000, true, L"Ok", false, Ending::ExitButton},
                                           HangCase{"OkThenCloseBox", 5000, true, L"Ok", false, Ending::CloseBox},
                                           HangCase{"LoadCancel", 10000, false, nullptr, true, Ending::CancelAlone}),
                         [](const auto& param) { return std::string(param.param.name); });

struct BriefCase {
    const char* name;
    const char* busy;       // simcad's command: busy for 2.5 s
    const char* rejection;  // the journal's line of a rejected call
};
void PrintTo(const BriefCase& row, std::ostream* out) { *out << row.name; }

class BusyBriefly : public ::testing::TestWithParam<BriefCase> {};

// A host busy for less than an action's time rejects its calls, with either code; "Ok" tries again quietly,
// with waits between (not a spin), and zooms once the host is free: no box, one zoom, and the program ends.
// "Current Scale" pressed by a message meanwhile (BM_CLICK, as a program or an accessibility tool presses it,
// which no input filter sees) runs nothing, then or later.
TEST_P(BusyBriefly, OkWaitsQuietlyAndZoomsOnce) {
    const BriefCase& brief = GetParam();
    Session session;
    const bool ready = session.StartOnMetric150AndHold(brief.busy);
    ASSERT_TRUE(ready);
    const std::size_t from = session.host.Calls().size();
    session.Click(L"Ok");
    session.Click(L"Current Scale");
    const std::string box = session.BoxBeforeTheEnd(kActionDeadline);
    EXPECT_EQ(box, "");
    EXPECT_FALSE(session.app->Running());
    EXPECT_EQ(session.app->ExitCode(), DWORD{0});
    EXPECT_EQ(session.host.Count(kZoomTo150), 1u) << session.host.CallsText();
    EXPECT_EQ(session.host.Count("-> ok [viewport"), 1u);
    const std::size_t rejections = session.host.Count(brief.rejection, from);
    EXPECT_GE(rejections, 1u) << session.host.CallsText();
    EXPECT_LE(rejections, 100u) << session.host.CallsText();
    EXPECT_EQ(session.host.Count("Entity.CustomScale("), 0u) << session.host.CallsText();
}

INSTANTIATE_TEST_SUITE_P(Rejections, BusyBriefly,
                         ::testing::Values(BriefCase{"MessageFilterRejectsEveryCall", "reject 2500",
                                                     "-> rejected by the message filter"},
                                           BriefCase{"ZoomSaysRetryLater", "busy Application.ZoomScaled 2500",
                                                     "Application.ZoomScaled(0.02, 2) -> rejected 0x8001010A"},
                                           BriefCase{"FirstCallRejected", "refuse Document.ActiveSpace 2500",
                                                     "Document.ActiveSpace() -> rejected 0x80010001"}),
                         [](const auto& param) { return std::string(param.param.name); });

struct PastCase {
    const char* name;
    const char* busy;  // simcad's command: the host holds "Ok" for 7 s
    int answer;        // to the busy box, once the host is free
};
void PrintTo(const PastCase& row, std::ostream* out) { *out << row.name; }

class PastTheBudget : public ::testing::TestWithParam<PastCase> {};

// A host that holds "Ok" past its time, by rejecting it, by not answering the zoom, or by hanging: the box after
// about 5 s. "Current Scale", clicked with the mouse while "Ok" is in flight, is ignored and never runs. Retry once the
// host is free finishes "Ok" without making the zoom twice, and the program ends; Cancel abandons it: nothing more is
// sent for it, no box, the window stays and attaches at its ticks.
TEST_P(PastTheBudget, AsksThenRetryZoomsOnceOrCancelLeavesTheDrawing) {
    const PastCase& past = GetParam();
    Session session;
    const bool ready = session.StartOnMetric150AndHold(past.busy);
    ASSERT_TRUE(ready);
    const auto clicked = std::chrono::steady_clock::now();
    const double clickedMs = NowMs();
    session.Click(L"Ok");
    session.MouseClick(L"Current Scale");
    const HWND box = WaitForBox(session.app->Id(), kBusyBoxDeadline);
    const double boxMs = NowMs() - clickedMs;
    const std::size_t asked = session.host.Calls().size();
    ASSERT_TRUE(box) << session.host.CallsText();
    EXPECT_GE(boxMs, kBusyBoxNotBeforeMs);
    const std::string text = BoxText(box);
    EXPECT_TRUE(text.starts_with(kBusyBoxStart)) << text;
    std::this_thread::sleep_until(clicked + 8s);
    ASSERT_FALSE(session.host.Hanging());
    const bool answered = Answer(box, past.answer);
    ASSERT_TRUE(answered);
    if (past.answer == IDCANCEL) {
        session.ExpectStays();
        EXPECT_EQ(session.host.Count("Document.MSpace=", asked), 0u) << session.host.CallsText();
        EXPECT_EQ(session.host.Count("Entity.CustomScale("), 0u) << session.host.CallsText();
        return;
    }
    const std::string boxAfter = session.BoxBeforeTheEnd(kActionDeadline);
    EXPECT_EQ(boxAfter, "");
    EXPECT_FALSE(session.app->Running());
    EXPECT_EQ(session.app->ExitCode(), DWORD{0});
    EXPECT_EQ(session.host.Count(kZoomTo150), 1u) << session.host.CallsText();
    EXPECT_EQ(session.host.Count("-> ok [viewport"), 1u);
    EXPECT_EQ(session.host.Count("Entity.CustomScale("), 0u) << session.host.CallsText();
}

INSTANTIATE_TEST_SUITE_P(
    Holds, PastTheBudget,
    ::testing::Values(PastCase{"ZoomRejectedThenRetry", "busy Application.ZoomScaled 7000", IDRETRY},
                      PastCase{"ZoomUnansweredThenRetry", "slow Application.ZoomScaled 7000", IDRETRY},
                      PastCase{"HangThenRetry", "hang 7000", IDRETRY},
                      PastCase{"HangThenCancel", "hang 7000", IDCANCEL}),
    [](const auto& param) { return std::string(param.param.name); });

struct VanishCase {
    const char* name;
    bool windowFirst;       // the window is up when the host is held; else the load meets it
    const char* hold;       // simcad's command that holds the host until it dies
    const wchar_t* button;  // clicked to reach the held call, if any
    const char* held;       // the journal's sign that the call is held; none: a tick's attach waits on a hang
};
void PrintTo(const VanishCase& row, std::ostream* out) { *out << row.name; }

class HostVanishes : public ::testing::TestWithParam<VanishCase> {};

// A host that dies like a crashed process, while a call of the load, of a button or of a tick is held, is
// reported "not running", and the program ends: no crash, no hang.
TEST_P(HostVanishes, TheProgramSaysNotRunningAndEnds) {
    const VanishCase& vanish = GetParam();
    Session session;
    if (vanish.windowFirst) {
        const bool started = session.Start();
        ASSERT_TRUE(started);
    }
    const bool held = session.host.Send(vanish.hold);
    ASSERT_TRUE(held);
    if (!vanish.windowFirst) {
        const bool started = session.Start(false);
        ASSERT_TRUE(started);
    }
    if (vanish.button) session.Click(vanish.button);
    if (vanish.held) {
        ASSERT_TRUE(WaitFor([&] { return session.host.Count(vanish.held) > 0; }, kStartDeadline));
    } else {
        std::this_thread::sleep_for(1500ms);
    }
    const bool killed = session.host.Program().Kill();
    ASSERT_TRUE(killed);
    HWND box = WaitForBox(session.app->Id(), 45s);
    if (box != nullptr && BoxText(box).starts_with("App Error: ")) {  // the handler's report of the broken call
        const bool reported = Answer(box, IDOK);
        ASSERT_TRUE(reported);
        box = WaitForBox(session.app->Id(), 45s);
    }
    ASSERT_TRUE(box) << session.host.CallsText();
    EXPECT_EQ(BoxText(box), kNotRunning);
    const bool answered = Answer(box, IDOK);
    ASSERT_TRUE(answered);
    EXPECT_TRUE(session.app->WaitForExit(kActionDeadline));
    EXPECT_EQ(session.app->ExitCode(), DWORD{0});
    EXPECT_EQ(session.host.Count("-> ok [viewport"), 0u) << session.host.CallsText();
}

INSTANTIATE_TEST_SUITE_P(
    Calls, HostVanishes,
    ::testing::Values(VanishCase{"LoadWritingActiveSpace", false, "busy Document.ActiveSpace= 60000", nullptr,
                                 "Document.ActiveSpace=(0) -> rejected"},
                      VanishCase{"LoadZoomingTheSheet", false, "busy Application.ZoomExtents 60000", nullptr,
                                 "Application.ZoomExtents() -> rejected"},
                      VanishCase{"NextVPortEnumerating", true, "busy PaperSpace.Next 60000", L"Next VPort",
                                 "PaperSpace.Next(celt=64) -> rejected"},
                      VanishCase{"NextVPortRegenerating", true, "busy Document.Regen 60000", L"Next VPort",
                                 "Document.Regen(1) -> rejected"},
                      VanishCase{"HangingDuringATick", true, "hang 30000", nullptr, nullptr}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vantrel::e2e
