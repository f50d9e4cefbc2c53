// The real vantrel.exe under Wine, driven from another process as a user would, against simcad serving the sample
// sheet: the sheet's own viewport, floating ones at 1/4"=1'-0" (active), 1/8"=1'-0" and 1:50, a title block. For
// two releases side by side in one Wine prefix, as AutoCAD 2024 beside 2025, simcad --release 25
// ("AutoCAD.Application.25") serves beside it a sheet whose active viewport is at 1/8"=1'-0"; each registers its own
// ProgID and CLSID and its application object in the running-object table.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "driver/Driver.h"
#include "win/ComApartment.h"
#include "win/Utf16.h"

namespace vantrel::e2e {
namespace {

using namespace driver;

// Reached only when something is wrong, even on a loaded two-core machine.
constexpr Milliseconds kStartDeadline = 30s;
constexpr Milliseconds kActionDeadline = 10s;  // also for two ticks, which come every second
constexpr char kNotRunning[] = "Vantrel: AutoCad Not Running";
// The box of an action whose host calls used up their time (about 5 s): Retry or Cancel.
constexpr char kBusyBoxStart[] = "Vantrel: AutoCAD is busy or not answering";
// The box comes once the action's time is spent: not much before 5 s, and in time even on a loaded machine.
constexpr double kBusyBoxNotBeforeMs = 4000.0;
constexpr Milliseconds kBusyBoxDeadline = 12s;
// Exit, the close box and Cancel end the program at once; this bound only says "not held by the host".
constexpr Milliseconds kEndDeadline = 2s;
constexpr char kQuarterReadout[] = "Vantrel: 0.25 = 1'-0";
constexpr char kEighthReadout[] = "Vantrel: 0.125 = 1'-0";
// "Ok" on Metric's "1:50" zooms the active floating viewport, item 2 of paper space on either sheet.
constexpr char kZoomTo150[] = "Application.ZoomScaled(0.02, 2) -> ok [viewport 2]";

// A row's test is named, and the row printed, by the row's name.
template <class Row>
std::string RowName(const ::testing::TestParamInfo<Row>& info) {
    return info.param.name;
}
template <class Row>
requires requires(const Row& row) { row.name; }
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

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

std::wstring Journal(const char* name) { return WindowsPath(std::string(VANTREL_E2E_WORK_DIR "/") + name); }

// The host's current release serving the sample sheet.
Simcad CurrentRelease() {
    return Simcad(WindowsPath(VANTREL_SIMCAD_EXE), WindowsPath(VANTREL_SAMPLE_SHEET), Journal("current.journal"));
}

// Release 25 serving the eighth-scale sheet.
Simcad Release25() {
    return Simcad(WindowsPath(VANTREL_SIMCAD_EXE), WindowsPath(VANTREL_EIGHTH_SCALE_SHEET), Journal("25.journal"), 25);
}

// simcad serving the sample sheet as the current release, and vantrel.exe once started.
struct Session {
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
    // The host held by simcad's command once the window is up with Metric's "1:50" selected, or before vantrel.exe
    // starts so that the load meets it; then `button` clicked, if any. False when a step failed.
    bool Hold(const std::string& command, bool windowFirst = true, const wchar_t* button = nullptr) {
        if (windowFirst && !(Start() && SelectMetric150())) return false;
        if (!host.Send(command)) return false;
        if (!windowFirst && !Start(false)) return false;
        if (button) Click(button);
        return true;
    }
    std::string AnswerBox() {  // the next box's text, once it is answered with OK; empty when none shows
        const HWND box = WaitForBox(app->Id());
        if (box == nullptr) return "";
        const std::string text = BoxText(box);
        return Answer(box, IDOK) ? text : "";
    }
    std::string ReadScale() {  // "Current Scale"'s box
        Click(L"Current Scale");
        return AnswerBox();
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
    // After "Ok" the program ends with no box, `zoomed` having zoomed a viewport once: to 1:50.
    void ExpectEndsAfterOneZoomTo150(Simcad& zoomed) {
        const std::string box = BoxBeforeTheEnd(kActionDeadline);
        EXPECT_EQ(box, "");
        EXPECT_FALSE(app->Running());
        EXPECT_EQ(app->ExitCode(), DWORD{0});
        EXPECT_EQ(zoomed.Count("-> ok [viewport"), 1u) << zoomed.CallsText();
        EXPECT_EQ(zoomed.Count(kZoomTo150), 1u);
    }

    Simcad host = CurrentRelease();  // first: vantrel.exe ends before its host
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
    const bool over = WaitFor(ended, kActionDeadline);
    EXPECT_TRUE(over);
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
    for (const char* pattern : wanted) {
        const bool found = std::regex_search(manifest, std::regex(pattern));
        EXPECT_TRUE(found) << pattern;
    }
}

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
    const bool regenerated = WaitFor(ticked, kActionDeadline + 4s);
    ASSERT_TRUE(regenerated) << calls;
    EXPECT_EQ(session.host.Count("Document.Regen("), 1u) << calls;
    // The viewport made active had been switched on, then all were regenerated.
    const std::regex pass(
        R"(Display\(true\) -> ok on (\S+)[\s\S]*ActivePViewport=\(\1\) -> ok[\s\S]*Regen\(1\) -> ok)");
    const bool inOrder = std::regex_search(calls, pass);
    EXPECT_TRUE(inOrder) << calls;
    EXPECT_FALSE(MessageBoxOf(session.app->Id()));
}

// Tab goes round in the designed order, stopping at the checked option button; the arrow keys choose
// among the option buttons; Enter and Escape press nothing: the focus stays, no call but the ticks'.
TEST(Keys, TabGoesInTabOrderArrowsChooseAnOptionEnterAndEscapePressNothing) {
    Session session;
    const bool started = session.Start();
    ASSERT_TRUE(started);
    const bool onTheList = WaitFor([&] { return Focus(session.window) == session.list; }, kActionDeadline);
    ASSERT_TRUE(onTheList);
    const std::size_t from = session.host.Calls().size();
    const struct {
        WORD key;
        const wchar_t* focus;  // the button that has the focus after the key; null: the list
    } steps[] = {{VK_TAB, L"Exit"},          {VK_TAB, L"Ok"},
                 {VK_TAB, L"Current Scale"}, {VK_TAB, L"Architectural"},
                 {VK_RIGHT, L"Machine"},     {VK_LEFT, L"Architectural"},
                 {VK_LEFT, L"Metric"},       {VK_RETURN, L"Metric"},
                 {VK_ESCAPE, L"Metric"},     {VK_TAB, L"Next VPort"},
                 {VK_TAB, L"Transparent"},   {VK_TAB, nullptr},
                 {VK_RETURN, nullptr},       {VK_ESCAPE, nullptr},
                 {VK_TAB, L"Exit"},          {VK_TAB, L"Ok"},
                 {VK_TAB, L"Current Scale"}, {VK_TAB, L"Metric"}};
    for (const auto& step : steps) {
        PressKey(Focus(session.window), step.key);
        const HWND expected = step.focus ? session.Button(step.focus) : session.list;
        const bool chooses = step.key == VK_LEFT || step.key == VK_RIGHT;
        const auto arrived = [&] { return Focus(session.window) == expected && (!chooses || IsChecked(expected)); };
        const bool there = WaitFor(arrived, kActionDeadline);
        const wchar_t* where = step.focus ? step.focus : L"the list";
        ASSERT_TRUE(there) << "key " << step.key << ": not on " << where;
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
    const wchar_t* button;  // clicked once the host hangs; none: a tick meets it
    bool asks;              // the busy box shows, and is answered Cancel; else the end comes 1.5 s into the hang
    Ending ending;
};

class HostHangs : public ::testing::TestWithParam<HangCase> {};

// A host that computes answers nothing, not even a rejection. The window does not wait for it: an action asks
// after about 5 s, and Cancel at the load, or Exit or the close box at any time, ends the program at once while
// the host still hangs, with no other box: a hung host is never "not running", and no zoom is ever made.
TEST_P(HostHangs, ExitOrCancelEndTheProgramAtOnceWhileTheHostStillHangs) {
    const HangCase& hang = GetParam();
    Session session;
    const double stepped = NowMs();
    const bool hung = session.Hold("hang " + std::to_string(hang.hangMs), hang.windowFirst, hang.button);
    ASSERT_TRUE(hung);
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
                         RowName<HangCase>);

struct HoldCase {
    const char* name;
    const char* hold;       // simcad's command that holds "Ok": for 2.5 s, within the action's time, or for 7 s
    const char* rejection;  // the journal's line of a rejected call, for a hold within the action's time
    int answer;             // to the busy box once the host is free, for a hold past the action's time
};

class HostHoldsOk : public ::testing::TestWithParam<HoldCase> {};

// A host that holds "Ok" for less than its time rejects its calls: "Ok" tries again quietly, with waits between
// (not a spin), and zooms once the host is free. (Which rejection codes count as busy is the unit tests' table.)
// One that holds it past its time, by rejecting the zoom, by not answering it or by hanging, gets the box after
// about 5 s: Retry once the host is free finishes "Ok" without making the zoom twice; Cancel abandons it: nothing
// more is sent for it, no box, the window stays and attaches at its ticks. A zoom ends the program with no box.
// "Current Scale", pressed meanwhile by a message (BM_CLICK, as a program or an accessibility tool presses it,
// which no input filter sees) and by the user's mouse, runs nothing, then or later.
TEST_P(HostHoldsOk, OkWaitsQuietlyOrAsksAndZoomsOnceOrLeavesTheDrawing) {
    const HoldCase& hold = GetParam();
    Session session;
    const bool ready = session.Hold(hold.hold);
    ASSERT_TRUE(ready);
    const std::size_t from = session.host.Calls().size();
    const auto clicked = std::chrono::steady_clock::now();
    session.Click(L"Ok");
    session.Click(L"Current Scale");
    session.MouseClick(L"Current Scale");
    if (hold.answer != 0) {
        const HWND box = WaitForBox(session.app->Id(), kBusyBoxDeadline);
        const std::chrono::duration<double, std::milli> boxMs = std::chrono::steady_clock::now() - clicked;
        ASSERT_TRUE(box) << session.host.CallsText();
        EXPECT_GE(boxMs.count(), kBusyBoxNotBeforeMs);
        const std::string text = BoxText(box);
        EXPECT_TRUE(text.starts_with(kBusyBoxStart)) << text;
        std::this_thread::sleep_until(clicked + 8s);
        ASSERT_FALSE(session.host.Hanging());
        const bool answered = Answer(box, hold.answer);
        ASSERT_TRUE(answered);
    }
    if (hold.answer == IDCANCEL) {
        // The window stays, attaching at its ticks with no box, and only the load zoomed.
        const std::size_t seen = session.host.Calls().size();
        const auto ticked = [&] { return session.host.Count("ActiveDocument() -> Document", seen) >= 2; };
        const bool stays = WaitFor(ticked, kActionDeadline);
        EXPECT_TRUE(stays);
        EXPECT_FALSE(MessageBoxOf(session.app->Id()));
        EXPECT_EQ(session.host.Count("-> ok ["), 1u) << session.host.CallsText();
        EXPECT_EQ(session.host.Count("Document.MSpace=", from), 0u) << session.host.CallsText();
    } else {
        session.ExpectEndsAfterOneZoomTo150(session.host);
    }
    if (hold.rejection) {
        const std::size_t rejections = session.host.Count(hold.rejection, from);
        EXPECT_GE(rejections, 1u) << session.host.CallsText();
        EXPECT_LE(rejections, 100u) << session.host.CallsText();
    }
    EXPECT_EQ(session.host.Count("Entity.CustomScale("), 0u) << session.host.CallsText();
}

INSTANTIATE_TEST_SUITE_P(
    Holds, HostHoldsOk,
    ::testing::Values(HoldCase{"MessageFilterRejectsEveryCall", "reject 2500", "-> rejected by the message filter", 0},
                      HoldCase{"ZoomRejectedThenRetry", "busy Application.ZoomScaled 7000", nullptr, IDRETRY},
                      HoldCase{"ZoomUnansweredThenRetry", "slow Application.ZoomScaled 7000", nullptr, IDRETRY},
                      HoldCase{"HangThenCancel", "hang 7000", nullptr, IDCANCEL}),
    RowName<HoldCase>);

struct VanishCase {
    const char* name;
    bool windowFirst;       // the window is up when the host is held; else the load meets it
    const char* hold;       // simcad's command that holds the host until it dies
    const wchar_t* button;  // clicked to reach the held call, if any
    const char* held;       // the journal's sign that the call is held; none: a tick's attach waits on a hang
};

class HostVanishes : public ::testing::TestWithParam<VanishCase> {};

// A host that dies like a crashed process, while a call of the load, of a button or of a tick is held, is
// reported "not running", and the program ends: no crash, no hang.
TEST_P(HostVanishes, TheProgramSaysNotRunningAndEnds) {
    const VanishCase& vanish = GetParam();
    Session session;
    const bool held = session.Hold(vanish.hold, vanish.windowFirst, vanish.button);
    ASSERT_TRUE(held);
    if (vanish.held) {
        const bool reached = WaitFor([&] { return session.host.Count(vanish.held) > 0; }, kStartDeadline);
        ASSERT_TRUE(reached);
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
    const bool ended = session.app->WaitForExit(kActionDeadline);
    EXPECT_TRUE(ended);
    EXPECT_EQ(session.app->ExitCode(), DWORD{0});
    EXPECT_EQ(session.host.Count("-> ok [viewport"), 0u) << session.host.CallsText();
}

INSTANTIATE_TEST_SUITE_P(Calls, HostVanishes,
                         ::testing::Values(VanishCase{"LoadWritingActiveSpace", false,
                                                      "busy Document.ActiveSpace= 60000", nullptr,
                                                      "Document.ActiveSpace=(0) -> rejected"},
                                           VanishCase{"NextVPortEnumerating", true, "busy PaperSpace.Next 60000",
                                                      L"Next VPort", "PaperSpace.Next(celt=64) -> rejected"},
                                           VanishCase{"HangingDuringATick", true, "hang 30000", nullptr, nullptr}),
                         RowName<VanishCase>);

// A class of another program, as an installed AutoCAD registers one.
constexpr wchar_t kForeignClsid[] = L"{6F1D2B7A-3C4E-4A5B-9D8C-7E6F5A4B3C25}";
constexpr DWORD kRefusedExitCode = 4;  // simcad's, when it will not replace a registration

// The CLSID a ProgID gives, as text; "none" when it gives none.
std::string ClsidOf(const wchar_t* progId) {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(progId, &clsid))) return "none";
    wchar_t text[40]{};
    StringFromGUID2(clsid, text, 40);
    return win::Utf8FromUtf16(text);
}

// A ProgID held by another program's class, for the user and the machine; removed at the end.
struct ForeignRegistration {
    explicit ForeignRegistration(const wchar_t* progId) : key(std::wstring(L"Software\\Classes\\") + progId) {
        for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            RegSetKeyValueW(root, (key + L"\\CLSID").c_str(), nullptr, REG_SZ, kForeignClsid, sizeof(kForeignClsid));
        }
    }
    ~ForeignRegistration() {
        for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) RegDeleteTreeW(root, key.c_str());
    }
    std::wstring key;
};

struct ForeignCase {
    const char* name;
    const wchar_t* progId;  // held by another program's class before the releases start
    bool currentStarts;     // else neither starts: every release checks the host's own ProgID
};

class ARealRegistration : public ::testing::TestWithParam<ForeignCase> {};

// A release never replaces a ProgID that another program holds: it refuses to start and leaves it as it was. The
// current release, when it starts, maps the host's ProgID to its CLSID while it runs and removes it when it quits.
TEST_P(ARealRegistration, IsLeftAloneAndSimcadRemovesOnlyItsOwnWhenItQuits) {
    const ForeignCase& foreign = GetParam();
    const win::ComApartment apartment;
    const ForeignRegistration registered(foreign.progId);
    ASSERT_EQ(ClsidOf(foreign.progId), "{6F1D2B7A-3C4E-4A5B-9D8C-7E6F5A4B3C25}");
    Simcad current = CurrentRelease();
    Simcad release = Release25();
    EXPECT_EQ(current.Ready(), foreign.currentStarts);
    EXPECT_FALSE(release.Ready());
    const bool refused = release.Program().WaitForExit(kActionDeadline);
    ASSERT_TRUE(refused);
    EXPECT_EQ(release.Program().ExitCode(), kRefusedExitCode);
    EXPECT_EQ(ClsidOf(foreign.progId), "{6F1D2B7A-3C4E-4A5B-9D8C-7E6F5A4B3C25}");
    if (!foreign.currentStarts) {
        const bool alsoRefused = current.Program().WaitForExit(kActionDeadline);
        ASSERT_TRUE(alsoRefused);
        EXPECT_EQ(current.Program().ExitCode(), kRefusedExitCode);
        return;
    }
    EXPECT_EQ(ClsidOf(L"AutoCAD.Application"), "{C2E5334D-54D1-4D01-BF50-C44608DA5AF1}");
    const bool quit = current.Send("quit") && current.Program().WaitForExit(kActionDeadline);
    ASSERT_TRUE(quit);
    EXPECT_EQ(ClsidOf(L"AutoCAD.Application"), "none");
    EXPECT_EQ(ClsidOf(foreign.progId), "{6F1D2B7A-3C4E-4A5B-9D8C-7E6F5A4B3C25}");
}

INSTANTIATE_TEST_SUITE_P(HeldByAnotherProgram, ARealRegistration,
                         ::testing::Values(ForeignCase{"TheReleasesProgId", L"AutoCAD.Application.25", true},
                                           ForeignCase{"TheHostsProgId", L"AutoCAD.Application", false}),
                         RowName<ForeignCase>);

enum Release { kCurrent, kRelease25 };

// Brings the host's window to the front, as a click on it does, above the other's; false when it did not come.
bool BringInFront(Simcad& front, Simcad& behind) {
    return BringToFront(front.Window()) &&
           WaitFor([&] { return IsAbove(front.Window(), behind.Window()); }, kActionDeadline);
}

struct FrontCase {
    const char* name;
    std::vector<Release> fronts;   // brought to the front in turn, the first before Vantrel starts
    std::optional<Release> quits;  // at the end; none: "Ok" on Metric's "1:50"
};

class TwoReleasesInFront : public ::testing::TestWithParam<FrontCase> {};

// Vantrel started with both running prepares the drawing in front only; each time the other's window comes to the
// front the next ticks attach to it and "Current Scale" reads its viewport; "Ok" zooms the front one's viewport only;
// when one quits, Vantrel stays with the other. Each is asked its main window once, at the load.
TEST_P(TwoReleasesInFront, CurrentScaleAndOkActOnTheReleaseInFrontAndOneQuittingLeavesTheOther) {
    const FrontCase& steps = GetParam();
    Simcad release = Release25();  // first: it ends after vantrel.exe
    Session session;
    Simcad* hosts[] = {&session.host, &release};
    const char* readouts[] = {kQuarterReadout, kEighthReadout};
    ASSERT_TRUE(session.host.Ready());
    ASSERT_TRUE(release.Ready());
    const Release loaded = steps.fronts.front();
    if (loaded == kRelease25) {
        // The sample sheet starts on the Model tab: put inside its viewport, so that it has a scale to read when it
        // comes to the front after a load that did not prepare it.
        const bool inTheViewport = session.host.Send("user layout") && session.host.Send("user enter-viewport");
        ASSERT_TRUE(inTheViewport);
    }
    Simcad& notLoaded = *hosts[1 - loaded];
    const bool inFront = BringInFront(*hosts[loaded], notLoaded);
    ASSERT_TRUE(inFront);
    const bool started = session.Start();
    ASSERT_TRUE(started);
    // The load, over before the window shows, zoomed the sheet once and nothing else: the active viewport kept its
    // scale.
    EXPECT_EQ(hosts[loaded]->Count("Application.ZoomExtents() -> ok [sheet]"), 1u) << hosts[loaded]->CallsText();
    EXPECT_EQ(hosts[loaded]->Count("-> ok ["), 1u) << hosts[loaded]->CallsText();
    EXPECT_EQ(notLoaded.Count("ZoomExtents("), 0u) << notLoaded.CallsText();
    EXPECT_EQ(notLoaded.Count("Document.ActiveSpace="), 0u) << notLoaded.CallsText();
    const std::string first = session.ReadScale();
    EXPECT_EQ(first, readouts[loaded]);

    for (std::size_t step = 1; step < steps.fronts.size(); ++step) {
        Simcad& front = *hosts[steps.fronts[step]];
        const std::size_t from = front.Calls().size();
        const bool brought = BringInFront(front, *hosts[1 - steps.fronts[step]]);
        ASSERT_TRUE(brought) << "step " << step;
        const bool ticked =
            WaitFor([&] { return front.Count("Application.ActiveDocument(", from) >= 2; }, kActionDeadline);
        ASSERT_TRUE(ticked) << "step " << step << ": no tick attached to the instance in front\n" << front.CallsText();
        const std::string scale = session.ReadScale();
        EXPECT_EQ(scale, readouts[steps.fronts[step]]) << "step " << step;
    }

    if (!steps.quits) {
        const Release last = steps.fronts.back();
        const bool selected = session.SelectMetric150();
        ASSERT_TRUE(selected);
        session.Click(L"Ok");
        session.ExpectEndsAfterOneZoomTo150(*hosts[last]);
        EXPECT_EQ(hosts[1 - last]->Count("ZoomScaled("), 0u) << hosts[1 - last]->CallsText();
    } else {
        Simcad& remaining = *hosts[1 - *steps.quits];
        const std::size_t from = remaining.Calls().size();
        const bool quit =
            hosts[*steps.quits]->Send("quit") && hosts[*steps.quits]->Program().WaitForExit(kActionDeadline);
        ASSERT_TRUE(quit);
        const bool ticked =
            WaitFor([&] { return remaining.Count("Application.ActiveDocument(", from) >= 2; }, kActionDeadline);
        const HWND box = MessageBoxOf(session.app->Id());
        ASSERT_FALSE(box) << BoxText(box) << "\n" << remaining.CallsText();
        ASSERT_TRUE(session.app->Running());
        EXPECT_TRUE(ticked) << remaining.CallsText();
        const std::string scale = session.ReadScale();
        EXPECT_EQ(scale, readouts[1 - *steps.quits]) << remaining.CallsText();
    }
    for (Simcad* host : hosts) EXPECT_EQ(host->Count("Application.HWND("), 1u) << host->CallsText();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, TwoReleasesInFront,
    ::testing::Values(FrontCase{"OkOnTheCurrentRelease", {kCurrent, kRelease25, kCurrent}, std::nullopt},
                      FrontCase{"TheOtherReleaseInFrontQuits", {kCurrent, kRelease25}, kRelease25},
                      FrontCase{"TheCurrentReleaseInFrontQuits", {kRelease25, kCurrent}, kCurrent}),
    RowName<FrontCase>);

}  // namespace
}  // namespace vantrel::e2e
