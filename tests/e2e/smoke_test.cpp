// The real vantrel.exe with no CAD host: it says so and ends, and its window
// never shows. Read from outside, as a user sees it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "driver/UiDriver.h"

namespace vantrel::e2e {
namespace {

using namespace std::chrono_literals;
using namespace driver;

std::wstring VantrelExe() {
    const char* path = std::getenv("VANTREL_EXE");
    return path ? WindowsPathOf(path) : std::wstring();
}

TEST(SmokeWithoutHost, SaysAutoCadNotRunningThenEndsAfterOkWithoutEverShowingItsWindow) {
    const std::wstring exe = VantrelExe();
    ASSERT_FALSE(exe.empty()) << "VANTREL_EXE names the program under test";
    Process vantrel(exe);

    bool windowSeen = false;
    HWND box = nullptr;
    // Wine may need a while for a fresh prefix; the deadline is only reached on failure.
    WaitFor(
        [&] {
            windowSeen = windowSeen || AnyVisibleWindow(vantrel.Id(), L"Standard Scales");
            box = FindMessageBox(vantrel.Id());
            return box != nullptr || !vantrel.Running();
        },
        60s);
    ASSERT_NE(box, nullptr) << "no message box; the program " << (vantrel.Running() ? "is still running" : "ended");

    const MessageBoxContent content = ReadMessageBox(box);
    EXPECT_EQ(content.title, L"Vantrel");
    EXPECT_EQ(content.text, L"AutoCad Not Running");
    EXPECT_FALSE(windowSeen || AnyVisibleWindow(vantrel.Id(), L"Standard Scales"))
        << "the window showed although the load failed";
    // The window exists (hidden) while the load runs: the box is modal to it.
    const HWND window = FindTopLevelWindow(vantrel.Id(), L"Standard Scales");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetWindow(box, GW_OWNER), window);

    PressOk(box);
    bool shownAfterOk = false;
    const bool ended = WaitFor(
        [&] {
            shownAfterOk = shownAfterOk || AnyVisibleWindow(vantrel.Id(), L"Standard Scales");
            return !vantrel.Running();
        },
        30s);
    ASSERT_TRUE(ended) << "the program still runs after OK";
    EXPECT_FALSE(shownAfterOk);
    EXPECT_EQ(vantrel.ExitCode(), std::optional<DWORD>(0));
}

}  // namespace
}  // namespace vantrel::e2e
