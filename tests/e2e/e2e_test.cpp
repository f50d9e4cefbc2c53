// The real vantrel.exe under Wine, driven from another process as a user would, against simcad serving
// the demo's sample sheet (the sheet's own viewport, floating ones at 1/4"=1'-0" (active), 1/8"=1'-0"
// and 1:50, then a title block's line and text) or a scenario of the test's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "catalog/ScaleCatalog.h"
#include "driver/Driver.h"

namespace vantrel::e2e {
namespace {

using namespace driver;

// Reached only when something is wrong, even on a loaded two-core machine.
constexpr Milliseconds kStartDeadline = 30s;
constexpr Milliseconds kActionDeadline = 10s;
constexpr char kNotRunning[] = "Vantrel: AutoCad Not Running";
constexpr char kBusy[] = "Vantrel: AutoCAD is busy";  // how the busy box begins

struct Box {
    HWND window;
    std::string text;  // "title: text"
};

std::optional<Box> WaitForBox(DWORD processId, Milliseconds timeout = kActionDeadline) {
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = MessageBoxOf(processId)) != nullptr; }, timeout)) return std::nullopt;
    return Box{box, Text(box) + ": " + Text(GetDlgItem(box, 0xFFFF))};
}

// Presses a button of the box (IDOK, IDRETRY, ...); true once the box is gone.
bool Answer(const Box& box, int id) {
    Click(GetDlgItem(box.window, id));
    return WaitFor([&] { return !IsWindow(box.window); }, kActionDeadline);
}

std::wstring WorkFile(const wchar_t* name) { return WindowsPath(VANTREL_E2E_WORK_DIR) + L"\\" + name; }

// simcad serving a scenario (the sample sheet when none), and vantrel.exe once started.
struct Session {
    explicit Session(const char* scenario = nullptr)
        : host(WindowsPath(VANTREL_SIMCAD_EXE),
               scenario ? (std::ofstream(std::filesystem::path(WorkFile(L"scenario.txt"))) << scenario << std::flush,
                           WorkFile(L"scenario.txt"))
                        : WindowsPath(VANTREL_SAMPLE_SHEET),
               WorkFile(L"journal.txt")) {}

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
    auto WaitForBox(Milliseconds timeout = kActionDeadline) { return e2e::WaitForBox(app->Id(), timeout); }

    Simcad host;  // first: vantrel.exe ends before its host
    std::optional<Process> app;
    HWND window = nullptr;
    HWND list = nullptr;
};

// ---- starting -------------------------------------------------------------------

TEST(Start, WithoutAHostSaysNotRunningAndEndsNeverShowingItsWindow) {
    Process app(WindowsPath(VANTREL_EXE), L"");
    bool shown = false;
    const auto ended = [&] {
        shown = shown || TopLevel(app.Id(), L"Standard Scales");
        return !app.Running();
    };
    ASSERT_TRUE(WaitFor([&] { return ended() || MessageBoxOf(app.Id()); }, kStartDeadline));
    const auto box = WaitForBox(app.Id(), 0ms);
    ASSERT_TRUE(box) << "ended without a box";
    EXPECT_EQ(box->text, kNotRunning);
    Click(GetDlgItem(box->window, IDOK));
    EXPECT_TRUE(WaitFor(ended, kActionDeadline));
    EXPECT_FALSE(shown);
    EXPECT_EQ(app.ExitCode(), DWORD{0});
}

struct StartCase {
    const char* name;
    const char* scenario;  // the sample sheet when null
    const char* load;      // the journal's start: the load's calls
};

class Start : public ::testing::TestWithParam<StartCase> {};

// The load zooms the sheet, never the active viewport, which keeps its scale.
TEST_P(Start, ZoomsTheSheetShowsTheArchitecturalTableAndTheViewportKeepsItsScale) {
    Session session(GetParam().scenario);
    ASSERT_TRUE(session.Start());
    // The load is over before the window shows, and the first tick a second later.
    EXPECT_TRUE(session.host.CallsText().starts_with(GetParam().load)) << session.host.CallsText();
    std::vector<std::vector<std::string>> texts{
        {"DWG Scales", "Scale Factor", "Text Size SM", "Text Size LG", "LTScale", "Dimension Style"}};
    for (const catalog::ScaleRow& row : catalog::GetScaleTable(catalog::ScaleType::Architectural)) {
        texts.push_back({std::string(row.Label), std::string(row.ScaleFactor), std::string(row.TextSizeSmall),
                         std::string(row.TextSizeLarge), std::string(row.LtScale), std::string(row.DimStyle)});
    }
    EXPECT_EQ(ListTexts(session.list), texts);
    session.Click(L"Current Scale");
    const auto box = session.WaitForBox();
    ASSERT_TRUE(box) << session.host.CallsText();
    EXPECT_EQ(box->text, "Vantrel: 0.25 = 1'-0");
}

INSTANTIATE_TEST_SUITE_P(
    WhereTheDrawingIs, Start,
    ::testing::Values(StartCase{"SampleSheetOnTheModelTab", nullptr,
                                R"(Application.ActiveDocument() -> Document "Sheet1"
Document.ActiveSpace() -> 1 on Document "Sheet1"
Document.ActiveSpace=(0) -> ok on Document "Sheet1"
Document.MSpace=(false) -> ok on Document "Sheet1"
Document.Application() -> Application on Document "Sheet1"
Application.ZoomExtents() -> ok [sheet]
Document.MSpace=(true) -> ok on Document "Sheet1"
)"},
                      StartCase{"InsideTheViewport",
                                "document Sheet1\nspace paper\nmspace on\nviewport 1\nviewport 1/48 on active\n", ""}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(Manifest, AsksForCommonControls6AndPerMonitorV2AndNamesWindows8AmongItsSystems) {
    const HMODULE exe = LoadLibraryExW(WindowsPath(VANTREL_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HRSRC resource = exe ? FindResourceW(exe, MAKEINTRESOURCEW(1), RT_MANIFEST) : nullptr;
    ASSERT_TRUE(resource);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(exe, resource))),
                               SizeofResource(exe, resource));
    FreeLibrary(exe);
    std::smatch found;
    ASSERT_TRUE(std::regex_search(manifest, found, std::regex(R"(<dependentAssembly>\s*<assemblyIdentity([^>]*)>)")));
    EXPECT_NE(found[1].str().find(R"(name="Microsoft.Windows.Common-Controls")"), std::string::npos);
    EXPECT_NE(found[1].str().find(R"(version="6.0.0.0")"), std::string::npos);
    ASSERT_TRUE(std::regex_search(manifest, found, std::regex(R"(<dpiAwareness[^>]*>\s*([^<]*)<)")));
    EXPECT_TRUE(found[1].str().starts_with("PerMonitorV2")) << found[1];
    EXPECT_TRUE(
        std::regex_search(manifest, std::regex(R"(<supportedOS\s+Id="\{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38\}")")))
        << manifest;
}

// ---- the controls ---------------------------------------------------------------

struct OkCase {
    const char* name;
    const char* move;     // the user's move in the host after the load, if any
    const char* refusal;  // the box "Ok" shows instead of zooming, if any
};

class Ok : public ::testing::TestWithParam<OkCase> {};

// "Ok" zooms the active floating viewport (item 2) to 1:50 and ends, also from
// paper space proper; where there is none to zoom it says why, the window stays.
TEST_P(Ok, ZoomsTheActiveViewportThenEndsOrSaysWhyNot) {
    Session session;
    ASSERT_TRUE(session.Start());
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
    const auto box = session.WaitForBox();
    ASSERT_TRUE(box) << session.host.CallsText();
    EXPECT_EQ(box->text, std::string("Vantrel: ") + GetParam().refusal);
    ASSERT_TRUE(Answer(*box, IDOK));
    // The window stays, attaching at its ticks; nothing was zoomed.
    const std::size_t seen = session.host.Calls().size();
    EXPECT_TRUE(WaitFor([&] { return session.host.Count("ActiveDocument(", seen) > 0; }, kActionDeadline));
    EXPECT_TRUE(TopLevel(session.app->Id(), L"Standard Scales"));
    EXPECT_EQ(session.host.Count("ZoomScaled("), 0u) << session.host.CallsText();
}

INSTANTIATE_TEST_SUITE_P(
    WhereTheDrawingIs, Ok,
    ::testing::Values(OkCase{"InsideTheViewport", nullptr, nullptr},
                      OkCase{"PaperSpaceProper", "leave-viewport", nullptr},
                      OkCase{"ModelTab", "model-tab",
                             "The Model tab is active. Switch to a layout with a viewport to zoom to a scale."},
                      OkCase{"LockedViewport", "lock 2",
                             "The active viewport is locked. Unlock it to change its scale."}),
    [](const auto& param) { return std::string(param.param.name); });

// A Regen of a large sheet takes seconds while ticks come due: still one Regen, no box, and then an answer.
TEST(NextVPort, ActivatesAFloatingViewportPastTheTitleBlockThroughASlowRegen) {
    Session session;
    ASSERT_TRUE(session.Start());
    ASSERT_TRUE(session.host.Send("slow Document.Regen 3500"));
    session.Click(L"Next VPort");
    bool boxSeen = false;
    std::size_t regen = 0;
    ASSERT_TRUE(WaitFor(
        [&] {
            boxSeen = boxSeen || MessageBoxOf(session.app->Id());
            if (!regen && session.host.Count("Document.Regen(") > 0) regen = session.host.Calls().size();
            return regen && session.host.Count("ActiveDocument(", regen) > 0;  // a tick after it
        },
        kActionDeadline + 4s))
        << session.host.CallsText();
    EXPECT_FALSE(boxSeen);
    EXPECT_EQ(session.host.Count("Document.Regen("), 1u) << session.host.CallsText();
    // The pass ends: a viewport switched on, model space, that viewport made active, all regenerated.
    std::vector<std::string> calls;
    for (const auto& call : session.host.Calls()) {
        if (!call.text.starts_with("Application.ActiveDocument(")) calls.push_back(call.text);
    }
    calls.erase(calls.begin(), calls.end() - 4);
    const std::string viewport = calls[0].substr(calls[0].rfind(' ') + 1);
    EXPECT_EQ(calls,
              (std::vector<std::string>{"Entity.Display(true) -> ok on " + viewport,
                                        R"(Document.MSpace=(true) -> ok on Document "Sheet1")",
                                        "Document.ActivePViewport=(" + viewport + R"() -> ok on Document "Sheet1")",
                                        R"(Document.Regen(1) -> ok on Document "Sheet1")"}));
    session.Click(L"Current Scale");
    const auto box = session.WaitForBox();
    ASSERT_TRUE(box) << session.host.CallsText();
    const char* floating[] = {"AcDbViewport#1 Vantrel: 0.25 = 1'-0", "AcDbViewport#2 Vantrel: 0.125 = 1'-0",
                              "AcDbViewport#3 Vantrel: 0.24 = 1'-0"};
    EXPECT_NE(std::find(std::begin(floating), std::end(floating), viewport + " " + box->text), std::end(floating))
        << viewport << " " << box->text;
}

TEST(Transparent, CheckingLayersTheWindowAt186AndItsListAt100ClearingGives255) {
    Session session;
    ASSERT_TRUE(session.Start());
    for (const auto& [window, list] : {std::pair{186, 100}, std::pair{255, 255}}) {
        session.Click(L"Transparent");
        EXPECT_TRUE(
            WaitFor([&] { return Alpha(session.window) == window && Alpha(session.list) == list; }, kActionDeadline))
            << window << " and " << list;
    }
}

// Tab goes round in the designed order, stopping at the checked option button; the arrow keys choose
// among the option buttons; Enter and Escape press nothing: no box, no end, no call but the ticks'.
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
    EXPECT_FALSE(MessageBoxOf(session.app->Id()));
    EXPECT_TRUE(session.app->Running());
    const auto& calls = session.host.Calls();
    EXPECT_TRUE(std::all_of(calls.begin() + static_cast<std::ptrdiff_t>(from), calls.end(), [](const auto& call) {
        return call.text.starts_with("Application.ActiveDocument(");
    })) << session.host.CallsText();
}

// ---- a busy host, a vanishing host ----------------------------------------------

// A tick never waits for a busy host (a command or a dialog open in it).
TEST(BusyHostAtTheTicks, ExitEndsTheProgramAtOnce) {
    Session session;
    ASSERT_TRUE(session.Start());
    const std::size_t from = session.host.Calls().size();
    ASSERT_TRUE(session.host.Send("busy Application.ActiveDocument 20000"));
    ASSERT_TRUE(WaitFor([&] { return session.host.Count("-> rejected", from) >= 2; }, kActionDeadline));
    // Just after a rejection: a tick that waited as a user's action does would hold the click.
    const double pressed = NowMs();
    session.Click(L"Exit");
    ASSERT_TRUE(session.app->WaitForExit(kActionDeadline));
    EXPECT_LT(NowMs() - pressed, 1000.0) << session.host.CallsText();
}

struct HeldCall {
    const char* name;
    const char* call;       // held by a busy host
    const wchar_t* button;  // that reaches the call; the load when null
    int answer;             // to the busy box; 0: the host vanishes meanwhile
};

class HostHolds : public ::testing::TestWithParam<HeldCall> {};

// After about 5 s the user is asked, never told the host is not running: Retry once the host is free
// zooms once and ends; Cancel zooms nothing and the window stays, but at the load the program ends. A
// host that ends like a crashed process is reported once, and the program ends: no crash, no hang.
TEST_P(HostHolds, TheUserIsAskedOrToldTheHostIsGone) {
    const HeldCall& held = GetParam();
    Session session;
    ASSERT_TRUE(!held.button || session.Start());
    ASSERT_TRUE(session.host.Send(std::string("busy ") + held.call + (held.answer ? " 20000" : " 120000")));
    ASSERT_TRUE(held.button ? (SelectRow(session.list, 8), session.Click(held.button), true) : session.Start(false));
    ASSERT_TRUE(WaitFor([&] { return session.host.Count(std::string(held.call) + "(") > 0; }, kStartDeadline));
    const auto free = std::chrono::steady_clock::now() + 20500ms;
    ASSERT_TRUE(held.answer || (session.host.Send("exit"), session.host.Program().WaitForExit(kActionDeadline)));
    auto box = session.WaitForBox(45s);
    if (!held.answer && box && box->text.starts_with("App Error: ")) {  // the handler's report of the broken call
        ASSERT_TRUE(Answer(*box, IDOK));
        box = session.WaitForBox(45s);
    }
    ASSERT_TRUE(box) << session.host.CallsText();
    EXPECT_TRUE(held.answer ? box->text.starts_with(kBusy) : box->text == kNotRunning) << box->text;
    if (held.answer == IDRETRY) std::this_thread::sleep_until(free);
    ASSERT_TRUE(Answer(*box, held.answer ? held.answer : IDOK));
    if (!held.button || held.answer != IDCANCEL) {
        EXPECT_TRUE(session.app->WaitForExit(kActionDeadline));
        EXPECT_EQ(session.app->ExitCode(), DWORD{0});
        EXPECT_EQ(session.host.Count("-> ok [viewport"), held.answer == IDRETRY ? 1u : 0u) << session.host.CallsText();
        return;
    }
    // The window stays, attaching at its ticks, with no other box; nothing was zoomed.
    const std::size_t seen = session.host.Calls().size();
    ASSERT_TRUE(
        WaitFor([&] { return session.host.Count("ActiveDocument() -> Document", seen) >= 2; }, kActionDeadline));
    EXPECT_FALSE(MessageBoxOf(session.app->Id()));
    EXPECT_TRUE(TopLevel(session.app->Id(), L"Standard Scales"));
    EXPECT_EQ(session.host.Count("-> ok [viewport"), 0u) << session.host.CallsText();
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
