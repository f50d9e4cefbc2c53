// Two releases of the host side by side in one Wine prefix, as AutoCAD 2024 beside 2025: simcad serving the sample
// sheet as the current release ("AutoCAD.Application", its active viewport at 1/4"=1'-0"), and simcad --release 25
// ("AutoCAD.Application.25") serving a sheet whose active viewport is at 1/8"=1'-0". Each registers its own ProgID and
// CLSID and its application object in the running-object table; the real vantrel.exe acts on the one whose window is
// in front.
#include <gtest/gtest.h>
#include <objbase.h>
#include <oleauto.h>

#include <ostream>
#include <string>
#include <vector>

#include "driver/Driver.h"
#include "win/Utf16.h"

namespace vantrel::e2e {
namespace {

using namespace driver;

constexpr Milliseconds kStartDeadline = 30s;
constexpr Milliseconds kActionDeadline = 10s;
// Ticks come every second; two of them on a loaded machine.
constexpr Milliseconds kTicksDeadline = 10s;

constexpr unsigned kRelease = 25;
constexpr wchar_t kCurrentProgId[] = L"AutoCAD.Application";
constexpr wchar_t kReleaseProgId[] = L"AutoCAD.Application.25";
// A class of another program that claims the release's ProgID, as an installed AutoCAD would.
constexpr wchar_t kForeignClsid[] = L"{6F1D2B7A-3C4E-4A5B-9D8C-7E6F5A4B3C25}";
constexpr DWORD kRefusedExitCode = 4;

constexpr char kQuarterReadout[] = "Vantrel: 0.25 = 1'-0";
constexpr char kEighthReadout[] = "Vantrel: 0.125 = 1'-0";
// "Ok" on Metric's "1:50": the active floating viewport of either sheet is item 2 of its paper space.
constexpr char kZoomTo150[] = "Application.ZoomScaled(0.02, 2) -> ok [viewport 2]";

// COM on the test's thread, for the lookups a client makes.
struct Apartment {
    Apartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~Apartment() { CoUninitialize(); }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
};

// The CLSID a ProgID gives, as text; "none" when it gives none.
std::string ClsidOf(const wchar_t* progId) {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(progId, &clsid))) return "none";
    wchar_t text[40]{};
    StringFromGUID2(clsid, text, 40);
    return win::Utf8FromUtf16(text);
}

std::wstring Journal(const char* name) { return WindowsPath(std::string(VANTREL_E2E_WORK_DIR "/") + name); }

// The current release with the sample sheet, and release 25 with the eighth-scale sheet.
struct TwoHosts {
    TwoHosts()
        : current(WindowsPath(VANTREL_SIMCAD_EXE), WindowsPath(VANTREL_SAMPLE_SHEET), Journal("current.journal")),
          release(WindowsPath(VANTREL_SIMCAD_EXE), WindowsPath(VANTREL_EIGHTH_SCALE_SHEET), Journal("release.journal"),
                  kRelease) {}
    Simcad current;
    Simcad release;
};

enum class Which { Current, Release };

// The release's ProgID held by another program's class, for the user and the machine; removed at the end.
struct ForeignRelease {
    ForeignRelease() {
        const auto bytes = static_cast<DWORD>(sizeof(kForeignClsid));
        for (const HKEY root : Roots()) {
            written = RegSetKeyValueW(root, kKey, nullptr, REG_SZ, kForeignClsid, bytes) == ERROR_SUCCESS && written;
        }
    }
    ~ForeignRelease() {
        for (const HKEY root : Roots()) RegDeleteTreeW(root, L"Software\\Classes\\AutoCAD.Application.25");
    }
    ForeignRelease(const ForeignRelease&) = delete;
    ForeignRelease& operator=(const ForeignRelease&) = delete;
    static constexpr wchar_t kKey[] = L"Software\\Classes\\AutoCAD.Application.25\\CLSID";
    static std::vector<HKEY> Roots() { return {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}; }
    bool written = true;
};

// A release whose ProgID another program holds refuses to start and leaves that registration as it was; the
// current release starts beside it all the same.
TEST(TwoReleasesRegistered, AReleaseWhoseProgIdAnotherProgramHoldsRefusesAndLeavesItAlone) {
    const Apartment apartment;
    const ForeignRelease foreign;
    ASSERT_TRUE(foreign.written);
    TwoHosts hosts;
    EXPECT_TRUE(hosts.current.Ready());
    EXPECT_FALSE(hosts.release.Ready());
    const bool ended = hosts.release.Program().WaitForExit(kActionDeadline);
    ASSERT_TRUE(ended);
    EXPECT_EQ(hosts.release.Program().ExitCode(), kRefusedExitCode);
    EXPECT_EQ(ClsidOf(kReleaseProgId), "{6F1D2B7A-3C4E-4A5B-9D8C-7E6F5A4B3C25}");
    EXPECT_EQ(ClsidOf(kCurrentProgId), "{C2E5334D-54D1-4D01-BF50-C44608DA5AF1}");
}

// The user's steps after the load.
enum class Ending { OkOnARow, CurrentQuits, ReleaseQuits };

struct FrontCase {
    const char* name;
    std::vector<Which> fronts;  // brought to the front in turn, the first before Vantrel starts
    Ending ending;
};
void PrintTo(const FrontCase& row, std::ostream* out) { *out << row.name; }

class TwoReleasesInFront : public ::testing::TestWithParam<FrontCase> {};

// Vantrel started with both running prepares the drawing in front only; each time the other's window comes to the
// front, as a click on it brings it, the next ticks attach to it and "Current Scale" reads its viewport; "Ok" zooms
// the front one's viewport only; when one quits, Vantrel stays with the other.
TEST_P(TwoReleasesInFront, CurrentScaleAndOkActOnTheReleaseInFrontAndOneQuittingLeavesTheOther) {
    const FrontCase& steps = GetParam();
    TwoHosts hosts;
    ASSERT_TRUE(hosts.current.Ready());
    ASSERT_TRUE(hosts.release.Ready());
    // The sample sheet starts on the Model tab: put inside its viewport, so that it has a scale to read when it
    // comes to the front after a load that did not prepare it.
    const bool onTheLayout = hosts.current.Send("user layout");
    ASSERT_TRUE(onTheLayout);
    const bool inTheViewport = hosts.current.Send("user enter-viewport");
    ASSERT_TRUE(inTheViewport);
    const auto host = [&](Which which) -> Simcad& { return which == Which::Current ? hosts.current : hosts.release; };
    const auto other = [&](Which which) -> Simcad& { return which == Which::Current ? hosts.release : hosts.current; };
    const auto readout = [](Which which) { return which == Which::Current ? kQuarterReadout : kEighthReadout; };

    const Which atLoad = steps.fronts.front();
    const bool broughtFirst = BringToFront(host(atLoad).Window());
    ASSERT_TRUE(broughtFirst);
    ASSERT_TRUE(WaitFor([&] { return IsAbove(host(atLoad).Window(), other(atLoad).Window()); }, kActionDeadline));
    Process app(WindowsPath(VANTREL_EXE), L"");
    HWND window = nullptr;
    const auto shown = [&] {
        window = TopLevel(app.Id(), L"Standard Scales");
        return window != nullptr;
    };
    ASSERT_TRUE(WaitFor(shown, kStartDeadline));
    const HWND list = FindWindowExW(window, nullptr, L"SysListView32", nullptr);
    const auto button = [&](const wchar_t* caption) { return FindWindowExW(window, nullptr, L"Button", caption); };
    // The readout box's text, once it is answered with OK; empty when none shows.
    const auto readScale = [&] {
        Click(button(L"Current Scale"));
        WaitFor([&] { return MessageBoxOf(app.Id()) != nullptr; }, kActionDeadline);
        const HWND box = MessageBoxOf(app.Id());
        if (box == nullptr) return std::string();
        const std::string text = BoxText(box);
        Click(GetDlgItem(box, IDOK));
        return WaitFor([&] { return !IsWindow(box); }, kActionDeadline) ? text : std::string();
    };
    EXPECT_EQ(host(atLoad).Count("Application.ZoomExtents() -> ok [sheet]"), 1u) << host(atLoad).CallsText();
    EXPECT_EQ(other(atLoad).Count("ZoomExtents("), 0u) << other(atLoad).CallsText();
    EXPECT_EQ(other(atLoad).Count("Document.ActiveSpace="), 0u) << other(atLoad).CallsText();
    const std::string first = readScale();
    EXPECT_EQ(first, readout(atLoad)) << host(atLoad).CallsText();

    for (std::size_t step = 1; step < steps.fronts.size(); ++step) {
        Simcad& front = host(steps.fronts[step]);
        Simcad& behind = other(steps.fronts[step]);
        const std::size_t from = front.Calls().size();
        const bool brought = BringToFront(front.Window());
        ASSERT_TRUE(brought);
        ASSERT_TRUE(WaitFor([&] { return IsAbove(front.Window(), behind.Window()); }, kActionDeadline))
            << "step " << step << ": the window did not come to the front";
        ASSERT_TRUE(WaitFor([&] { return front.Count("Application.ActiveDocument(", from) >= 2; }, kTicksDeadline))
            << "step " << step << ": no tick attached to the instance in front\n"
            << front.CallsText() << "behind:\n"
            << behind.CallsText() << "still above: " << IsAbove(front.Window(), behind.Window());
        const std::string scale = readScale();
        EXPECT_EQ(scale, readout(steps.fronts[step])) << "step " << step;
    }

    const Which last = steps.fronts.back();
    if (steps.ending == Ending::OkOnARow) {
        Click(button(L"Metric"));
        ASSERT_TRUE(WaitFor([&] { return ListRowCount(list) == 10; }, kActionDeadline));
        SelectRow(list, 7);
        Click(button(L"Ok"));
        EXPECT_TRUE(app.WaitForExit(kActionDeadline));
        EXPECT_EQ(host(last).Count(kZoomTo150), 1u) << host(last).CallsText();
        EXPECT_EQ(other(last).Count("ZoomScaled("), 0u) << other(last).CallsText();
    } else {
        const Which quitter = steps.ending == Ending::CurrentQuits ? Which::Current : Which::Release;
        const Which remaining = quitter == Which::Current ? Which::Release : Which::Current;
        const std::size_t from = host(remaining).Calls().size();
        const bool quit = host(quitter).Send("quit");
        ASSERT_TRUE(quit);
        const bool gone = host(quitter).Program().WaitForExit(kActionDeadline);
        ASSERT_TRUE(gone);
        const bool ticked =
            WaitFor([&] { return host(remaining).Count("Application.ActiveDocument(", from) >= 2; }, kTicksDeadline);
        const HWND box = MessageBoxOf(app.Id());
        ASSERT_FALSE(box) << BoxText(box) << "\n" << host(remaining).CallsText();
        ASSERT_TRUE(app.Running());
        EXPECT_TRUE(ticked) << host(remaining).CallsText();
        const std::string scale = readScale();
        EXPECT_EQ(scale, readout(remaining)) << host(remaining).CallsText();
    }
    // Each asked its main window once, at the load, and kept.
    for (Simcad* each : {&hosts.current, &hosts.release}) {
        EXPECT_EQ(each->Count("Application.HWND("), 1u) << each->CallsText();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, TwoReleasesInFront,
    ::testing::Values(
        FrontCase{"OkOnTheCurrentRelease", {Which::Current, Which::Release, Which::Current}, Ending::OkOnARow},
        FrontCase{"OkOnTheOtherRelease", {Which::Release, Which::Current, Which::Release}, Ending::OkOnARow},
        FrontCase{"TheOtherReleaseInFrontQuits", {Which::Current, Which::Release}, Ending::ReleaseQuits},
        FrontCase{"TheCurrentReleaseInFrontQuits", {Which::Release, Which::Current}, Ending::CurrentQuits}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vantrel::e2e
