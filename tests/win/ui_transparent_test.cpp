// MakeTransparent on real windows: a top-level window and a child window.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <vector>

#include "ui/win32/MdlTransparent.h"

namespace vantrel::ui::win32 {
namespace {

constexpr LONG kLayered = WS_EX_LAYERED;

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

const wchar_t* PlainClass() {
    static const ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &PlainProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VantrelTransparencyTest";
        return RegisterClassW(&wc);
    }();
    return atom ? L"VantrelTransparencyTest" : nullptr;
}

// A top-level window with a child; extended style bits of their own so
// that a lost bit shows.
class Windows {
public:
    Windows() {
        top = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_CONTROLPARENT, PlainClass(), L"top", WS_OVERLAPPEDWINDOW, 10, 10,
                              300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        child = CreateWindowExW(WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY, PlainClass(), L"child", WS_CHILD | WS_VISIBLE,
                                10, 10, 100, 80, top, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~Windows() { DestroyWindow(top); }
    Windows(const Windows&) = delete;
    Windows& operator=(const Windows&) = delete;

    HWND top = nullptr;
    HWND child = nullptr;
};

struct Alpha {
    BYTE alpha = 0;
    DWORD flags = 0;
    bool read = false;
};

Alpha ReadAlpha(HWND window) {
    Alpha result;
    COLORREF key = 0;
    result.read = GetLayeredWindowAttributes(window, &key, &result.alpha, &result.flags) != FALSE;
    return result;
}

LONG ExStyle(HWND window) { return GetWindowLongW(window, GWL_EXSTYLE); }

enum class Which { TopLevel, Child };

struct AlphaCase {
    Which which;
    std::vector<std::uint8_t> alphas;  // calls in order; the last one shows
};

class MakeTransparentOn : public ::testing::TestWithParam<AlphaCase> {};

TEST_P(MakeTransparentOn, AddsTheLayeredBitKeepsTheOthersAndShowsTheLastAlpha) {
    Windows windows;
    const HWND window = GetParam().which == Which::TopLevel ? windows.top : windows.child;
    ASSERT_TRUE(window);
    const LONG before = ExStyle(window);
    ASSERT_EQ(before & kLayered, 0) << "windows start as ordinary windows";

    for (const std::uint8_t alpha : GetParam().alphas) {
        MakeTransparent(window, alpha);
        // Every call leaves exactly the original bits plus WS_EX_LAYERED.
        EXPECT_EQ(ExStyle(window), before | kLayered) << "after alpha " << int{alpha};
        const Alpha shown = ReadAlpha(window);
        ASSERT_TRUE(shown.read);
        EXPECT_EQ(shown.alpha, alpha);
        EXPECT_EQ(shown.flags, static_cast<DWORD>(LWA_ALPHA));
    }
}

INSTANTIATE_TEST_SUITE_P(WindowsAndAlphas, MakeTransparentOn,
                         ::testing::Values(AlphaCase{Which::TopLevel, {186}}, AlphaCase{Which::Child, {100}},
                                           AlphaCase{Which::TopLevel, {186, 255, 186, 255}},
                                           AlphaCase{Which::Child, {100, 255, 100, 255}},
                                           AlphaCase{Which::TopLevel, {0}}, AlphaCase{Which::Child, {0, 255}}),
                         [](const auto& tested) {
                             std::string name = tested.param.which == Which::TopLevel ? "TopLevel" : "Child";
                             for (const auto alpha : tested.param.alphas)
                                 name.append(1, '_').append(std::to_string(alpha));
                             return name;
                         });

TEST(MakeTransparent, OpaqueAgainStaysLayered) {
    Windows windows;
    MakeTransparent(windows.top, 186);
    MakeTransparent(windows.top, 255);
    EXPECT_NE(ExStyle(windows.top) & kLayered, 0);
    EXPECT_EQ(ReadAlpha(windows.top).alpha, 255);
}

TEST(MakeTransparent, TheParentAndTheChildKeepTheirOwnAlpha) {
    Windows windows;
    MakeTransparent(windows.top, 186);
    MakeTransparent(windows.child, 100);
    EXPECT_EQ(ReadAlpha(windows.top).alpha, 186);
    EXPECT_EQ(ReadAlpha(windows.child).alpha, 100);
}

TEST(MakeTransparent, ANonWindowIsPassedOverSilently) {
    // The results are not checked: nothing throws, nothing else happens.
    EXPECT_NO_THROW(MakeTransparent(nullptr, 186));
    Windows windows;
    const HWND gone = windows.child;
    DestroyWindow(gone);
    EXPECT_NO_THROW(MakeTransparent(gone, 100));
}

}  // namespace
}  // namespace vantrel::ui::win32
