// The real vantrel.exe under Wine, driven from another process as a user would, against simcad serving the
// sample sheet: the sheet's own viewport, floating ones at 1/4"=1'-0" (active), 1/8"=1'-0" and 1:50, a title block.
#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <thread>

#include "driver/Driver.h"

namespace vantrel::e2e {
namespace {

using namespace driver;

// Reached only when something is wrong, even on a loaded two-core machine.
constexpr Milliseconds kStartDeadline = 30s;
constexpr Milliseconds kActionDeadline = 10s;
constexpr char kNotRunning[] = "Vantrel: AutoCad Not Running";

// The process's message box once one shows (null if none does).
HWND WaitForBox(DWORD processId, Milliseconds timeout = kActionDeadline) {
    HWND box = nullptr;
    return WaitFor([&] { return (box = MessageBoxOf(processId)) != nullptr; }, timeout) ? box : nullptr;
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
            return window && (list = FindWindowExW(window, nullptr, L"SysListView32", nullptr)) != nullptr;
        };
        return !untilShown || WaitFor(shown, kStartDeadline);
    }
    HWND Button(const wchar_t* caption) const { return FindWindowExW(window, nullptr, L"Button", caption); }
    void Click(const wchar_t* caption) const { driver::Click(Button(caption)); }
    std::string AnswerBox() {  // the next box's text, once it is answered with OK; empty when none shows
        const HWND box = WaitForBox(app->Id());
        const std::string text = box ? BoxText(box) : "";
        return box && Answer(box, IDOK) ? text : "";
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
    const auto ended = [&] { return (shown = shown || TopLevel(app.Id(), L"Standard Scales")), !app.Running(); };
    ASSERT_TRUE(WaitFor([&] { return ended() || MessageBoxOf(app.Id()); }, kStartDeadline));
    const HWND box = WaitForBox(app.Id(), 0ms);
    ASSERT_TRUE(box) << "ended without a box";
    EXPECT_EQ(BoxText(box), kNotRunning);
    EXPECT_TRUE(Answer(box, IDOK) && WaitFor(ended, kActionDeadline));
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

class Ok : public ::testing::TestWithParam<OkCase> {};

// The load, over before the window shows, zoomed the sheet once and nothing else: the active viewport (item 2)
// kept its 1/4"=1'-0". "Ok" zooms it to 1:50 and ends; where there is none to zoom it says why, the window stays.
TEST_P(Ok, AfterALoadThatZoomedOnlyTheSheetZoomsTheActiveViewportThenEndsOrSaysWhyNot) {
    Session session;
    ASSERT_TRUE(!GetParam().startsInViewport ||
                (session.host.Send("user layout") && session.host.Send("user enter-viewport")));
    ASSERT_TRUE(session.Start());
    EXPECT_EQ(session.host.Count("ZoomExtents() -> ok [sheet]"), 1u) << session.host.CallsText();
    EXPECT_EQ(session.host.Count("-> ok ["), 1u) << session.host.CallsText();
    session.Click(L"Current Scale");
    EXPECT_EQ(session.AnswerBox(), "Vantrel: 0.25 = 1'-0");
    ASSERT_TRUE(!GetParam().move || session.host.Send(std::string("user ") + GetParam().move));
    session.Click(L"Metric");
    ASSERT_TRUE(WaitFor([&] { return ListRowCount(session.list) == 10; }, kActionDeadline));
    SelectRow(session.list, 7);  // "1:50"
    session.Click(L"Ok");
    if (!GetParam().refusal) {
        EXPECT_TRUE(session.app->WaitForExit(kActionDeadline));
        EXPECT_EQ(session.host.Count("ZoomScaled("), 1u) << session.host.CallsText();
        EXPECT_EQ(session.host.Count("Application.ZoomScaled(0.02, 2) -> ok [viewport 2]"), 1u);
        return;
    }
    EXPECT_EQ(session.AnswerBox(), std::string("Vantrel: ") + GetParam().refusal) << session.host.CallsText();
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
    ASSERT_TRUE(session.Start());
    ASSERT_TRUE(session.host.Send("slow Document.Regen 3500"));
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
    ASSERT_TRUE(session.Start());
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

struct HeldCall {
    const char* name;
    const char* call;       // held by a busy host
    const wchar_t* button;  // that reaches the call; the load when null
    int answer;             // to the busy box; 0: the host vanishes meanwhile
};

class HostHolds : public ::testing::TestWithParam<HeldCall> {};

// After about 5 s the user is asked, never told the host is not running: Retry once the host is free zooms once
// and ends; Cancel zooms nothing, the window stays (at the load the program ends). A host that dies like a
// crashed process is reported, and the program ends: no crash, no hang.
TEST_P(HostHolds, TheUserIsAskedOrToldTheHostIsGone) {
    const HeldCall& held = GetParam();
    Session session;
    ASSERT_TRUE(!held.button || session.Start());
    ASSERT_TRUE(session.host.Send(std::string("busy ") + held.call + (held.answer ? " 20000" : " 120000")));
    ASSERT_TRUE(held.button ? (SelectRow(session.list, 8), session.Click(held.button), true) : session.Start(false));
    ASSERT_TRUE(WaitFor([&] { return session.host.Count(std::string(held.call) + "(") > 0; }, kStartDeadline));
    const auto free = std::chrono::steady_clock::now() + 20500ms;
    ASSERT_TRUE(held.answer || (session.host.Send("exit"), session.host.Program().WaitForExit(kActionDeadline)));
    HWND box = WaitForBox(session.app->Id(), 45s);
    if (!held.answer && box && BoxText(box).starts_with("App Error: ")) {  // the handler's report of the broken call
        ASSERT_TRUE(Answer(box, IDOK));
        box = WaitForBox(session.app->Id(), 45s);
    }
    ASSERT_TRUE(box) << session.host.CallsText();
    const std::string text = BoxText(box);
    EXPECT_TRUE(held.answer ? text.starts_with("Vantrel: AutoCAD is busy") : text == kNotRunning) << text;
    if (held.answer == IDRETRY) std::this_thread::sleep_until(free);
    ASSERT_TRUE(Answer(box, held.answer ? held.answer : IDOK));
    if (held.button && held.answer == IDCANCEL) return session.ExpectStays();
    EXPECT_TRUE(session.app->WaitForExit(kActionDeadline));
    EXPECT_EQ(session.app->ExitCode(), DWORD{0});
    EXPECT_EQ(session.host.Count("-> ok [viewport"), held.answer == IDRETRY ? 1u : 0u) << session.host.CallsText();
}

INSTANTIATE_TEST_SUITE_P(
    Calls, HostHolds,
    ::testing::Values(HeldCall{"OkRetry", "Application.ZoomScaled", L"Ok", IDRETRY},
                      HeldCall{"OkCancel", "Application.ZoomScaled", L"Ok", IDCANCEL},
                      HeldCall{"LoadCancel", "Application.ActiveDocument", nullptr, IDCANCEL},
                      HeldCall{"LoadWritingActiveSpaceVanishes", "Document.ActiveSpace=", nullptr, 0},
                      HeldCall{"LoadZoomingTheSheetVanishes", "Application.ZoomExtents", nullptr, 0},
                      HeldCall{"NextVPortEnumeratingVanishes", "PaperSpace.Next", L"Next VPort", 0},
                      HeldCall{"NextVPortRegeneratingVanishes", "Document.Regen", L"Next VPort", 0}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vantrel::e2e
