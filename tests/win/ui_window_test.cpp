// The real window over the simulated host: controls at its DPI and another, keys, clicks, transparency; the design.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <bit>
#include <memory>
#include <string>

#include "sim/SimulatedHost.h"
#include "ui/FrmMain.h"
#include "ui/win32/FrmMainWindow.h"

namespace vantrel::ui::win32 {
namespace {

int boxes = 0;  // message boxes seen; none of these tests expects one

// The window, loaded and shown, over a sheet with two viewports. The end of the program is counted instead
// of exiting; a message box is counted and closed, so that no test hangs on one.
class RealWindow : public ::testing::Test {
protected:
    RealWindow() {
        window.Create(GetModuleHandleW(nullptr));
        window.Attach(&form);
        window.SetEndAction([this] { ++ends; });
        window.Raise(Event::Load);
        ShowWindow(window.Handle(), SW_SHOW);
        SetForegroundWindow(window.Handle());
    }
    ~RealWindow() override {
        KillTimer(nullptr, boxTimer);
        EXPECT_EQ(std::exchange(boxes, 0), 0) << "a message box was shown";
    }
    HWND Control(Slot slot) const { return window.Control(slot); }
    int Rows() const { return static_cast<int>(SendMessageW(Control(Slot::LVscales), LVM_GETITEMCOUNT, 0, 0)); }
    bool Journal(const std::string& calls) const { return host->JournalText().find(calls) != std::string::npos; }
    void Pump(ULONGLONG ms = 0) {  // through the dialog manager, as the program's loop does
        for (const ULONGLONG end = GetTickCount64() + ms; GetTickCount64() <= end; Sleep(10)) {
            for (MSG m; PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);)
                IsDialogMessageW(window.Handle(), &m) || DispatchMessageW(&m);
        }
    }
    void Press(WPARAM key) { PostMessageW(GetFocus(), WM_KEYDOWN, key, 1), Pump(); }

    UINT_PTR boxTimer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        const HWND box = FindWindowW(L"#32770", nullptr);  // this thread's only: another process's is no concern
        if (IsWindowVisible(box) && GetWindowThreadProcessId(box, nullptr) == GetCurrentThreadId())
            ++boxes, PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    FrmMainWindow window;
    std::shared_ptr<sim::SimulatedHost> host =
        sim::SimulatedHost::FromScenario("space paper\nviewport 1\nviewport 1/48 active\n");
    FrmMain form{window, host->Locator()};
    int ends = 0;
};

TEST_F(RealWindow, TheControlsAreAsDesignedAndLaidOutForTheDpiAlsoAfterAChange) {
    LOGFONTW font{};
    for (const UINT dpi : {window.Dpi(), window.Dpi() * 2}) {  // as made, then after the system's WM_DPICHANGED
        const WindowLayout layout = ComputeLayout(dpi);
        RECT frame{40, 30, 1140, 830}, placed{}, client{};
        const bool changed = dpi != window.Dpi();
        if (changed)
            SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&frame));
        GetWindowRect(window.Handle(), &placed);
        GetClientRect(window.Handle(), &client);
        EXPECT_TRUE(changed ? EqualRect(&placed, &frame)  // where the system says
                            : client.right == layout.clientWidth && client.bottom == layout.clientHeight);
        const LONG before = font.lfHeight;  // the message face at its own width, taller at a higher DPI
        EXPECT_TRUE((GetObjectW(window.Font(), sizeof font, &font), font.lfHeight < before * 3 / 2) && !font.lfWidth);
        std::wstring texts;
        for (std::size_t i = 0; i < kSlotCount; ++i) {
            const HWND control = Control(static_cast<Slot>(i));
            wchar_t text[32]{};
            texts += std::wstring(text, static_cast<std::size_t>(GetWindowTextW(control, text, 32))) + L"|";
            RECT r{};
            GetWindowRect(control, &r);
            MapWindowPoints(HWND_DESKTOP, window.Handle(), reinterpret_cast<POINT*>(&r), 2);
            EXPECT_EQ((Box{r.left, r.top, r.right - r.left, r.bottom - r.top}), layout.controls[i]) << i;
            EXPECT_EQ(GetWindowLongW(control, GWL_EXSTYLE), i == 0 ? WS_EX_CLIENTEDGE : 0) << i;
            EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), window.Font()) << i;
        }
        EXPECT_EQ(texts,
                  L"|Scale Type:|Exit|Ok|Current Scale|Architectural|Machine|Civil|Metric|Next VPort|Transparent|");
        for (std::size_t c = 0; c < kColumnCount; ++c) {
            EXPECT_EQ(SendMessageW(Control(Slot::LVscales), LVM_GETCOLUMNWIDTH, c, 0), layout.columnWidths[c]);
        }
    }
    EXPECT_TRUE(window.IsOptionChecked(0) && Rows() == 12) << "the load fills the Architectural table";
    EXPECT_EQ(ListView_GetExtendedListViewStyle(Control(Slot::LVscales)), LVS_EX_FULLROWSELECT);
    EXPECT_EQ(GetClassLongPtrW(window.Handle(), GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1) << "the dialog face colour";
}

TEST_F(RealWindow, KeysAndClicksDoWhatTheyAreForAndAFillDrawsTheListOnceDone) {
    SetFocus(Control(Slot::LVscales));  // the frame is no stop; of the option buttons only the checked one is
    for (const Slot next : {Slot::CmdExit, Slot::CmdOK, Slot::CmdGetscale, Slot::Option0, Slot::CmdNext,
                            Slot::ChkTransparent, Slot::LVscales}) {
        Press(VK_TAB);
        EXPECT_EQ(GetFocus(), Control(next)) << "expected slot " << Index(next);
    }
    SetFocus(Control(Slot::Option0));
    Press(VK_RIGHT);
    EXPECT_TRUE(GetFocus() == Control(Slot::Option1) && window.IsOptionChecked(1) && Rows() == 11) << "Machine";

    UpdateWindow(window.Handle());
    SendMessageW(Control(Slot::Option3), BM_CLICK, 0, 0);
    EXPECT_TRUE(Rows() == 10 && IsWindowVisible(Control(Slot::LVscales)) &&
                GetUpdateRect(Control(Slot::LVscales), nullptr, FALSE))
        << "the Metric table; the list does not draw while it is filled, then draws once";
    RECT row{};
    ListView_GetItemRect(Control(Slot::LVscales), 9, &row, LVIR_BOUNDS);
    ListView_SetItemState(Control(Slot::LVscales), 9, LVIS_SELECTED, LVIS_SELECTED);  // so that an apply would zoom
    for (const int y : {row.bottom + 20, (row.top + row.bottom) / 2}) {
        PostMessageW(Control(Slot::LVscales), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(30, y));
        Pump(300);
        EXPECT_EQ(Journal("ZoomScaled"), y < row.bottom)
            << "a double-click on a row applies it, below the rows nothing";
    }
    host->ClearJournal();
    Pump(1200);
    EXPECT_TRUE(Journal("Locator.GetActiveObject")) << "Timer1 attaches again while nothing else happens";
    SendMessageW(Control(Slot::CmdExit), BM_CLICK, 0, 0);
    SendMessageW(window.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(ends, 2);
}

TEST_F(RealWindow, TheCheckBoxMakesTheWindowAndTheListTranslucentAndOpaqueAgainStillLayered) {
    const HWND layered[] = {window.Handle(), Control(Slot::LVscales)};
    const LONG before[] = {GetWindowLongW(layered[0], GWL_EXSTYLE), GetWindowLongW(layered[1], GWL_EXSTYLE)};
    for (const auto& [state, alphas] :
         {std::pair{kChecked, std::array<BYTE, 2>{186, 100}}, {kCheckClear, {255, 255}}, {kChecked, {186, 100}}}) {
        SendMessageW(Control(Slot::ChkTransparent), BM_CLICK, 0, 0);
        EXPECT_EQ(window.TransparentState(), state);
        for (std::size_t i = 0; i < 2; ++i) {
            BYTE alpha = 0;
            DWORD flags = 0;
            EXPECT_TRUE(GetLayeredWindowAttributes(layered[i], nullptr, &alpha, &flags) && alpha == alphas[i] &&
                        flags == LWA_ALPHA && GetWindowLongW(layered[i], GWL_EXSTYLE) == (before[i] | WS_EX_LAYERED))
                << int{alpha};
        }
    }
}

// The design at 96 DPI; at any DPI the same within a pixel, each control in the client area, options in the frame.
TEST(Layout, IsTheDesignAt96DpiAndScalesKeepingEveryControlInPlace) {
    using Numbers = std::array<int, 2 + 4 * kSlotCount + kColumnCount>;  // client, boxes, columns
    const Numbers design{514, 328, 8,   8,   497, 217, 12,  232, 385, 49,  416, 296, 89,  25,  16, 296, 105, 25,
                         232, 296, 97,  25,  28,  256, 81,  17,  148, 256, 81,  17,  244, 256, 81, 17,  316, 256,
                         65,  17,  144, 296, 81,  25,  416, 248, 81,  25,  93,  93,  80,  80,  67, 93};
    EXPECT_EQ(std::bit_cast<Numbers>(ComputeLayout(96)), design);
    for (const int dpi : {120, 144, 192, 288}) {
        const WindowLayout layout = ComputeLayout(static_cast<unsigned>(dpi));
        for (std::size_t i = 0; i < design.size(); ++i)
            EXPECT_LE(std::abs(std::bit_cast<Numbers>(layout)[i] * 96 - design[i] * dpi), dpi);
        for (std::size_t i = 0; i < kSlotCount; ++i) {
            const Box& box = layout.controls[i];
            const bool option = i >= Index(Slot::Option0) && i <= Index(Slot::Option3);
            const Box around = option ? layout[Slot::FrameOptions] : Box{0, 0, layout.clientWidth, layout.clientHeight};
            EXPECT_TRUE(box.left >= around.left && box.top >= around.top &&
                        box.left + box.width <= around.left + around.width &&
                        box.top + box.height <= around.top + around.height)
                << "control " << i << " at " << dpi << " DPI";
        }
    }
}

}  // namespace
}  // namespace vantrel::ui::win32
