// The real window over the simulated host: controls at its DPI and another, clicks, transparency; the design.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <bit>
#include <memory>
#include <string>

#include "catalog/ScaleCatalog.h"
#include "sim/SimulatedHost.h"
#include "sim/SimulatedHostThread.h"
#include "ui/FrmMain.h"
#include "ui/win32/FrmMainWindow.h"
#include "win/Utf16.h"

namespace vantrel::ui::win32 {
namespace {

int boxes = 0;  // message boxes seen; none of these tests expects one

// The window, loaded and shown, over two viewports; the program's end is counted, a message box counted and closed.
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
    void Pump(ULONGLONG ms = 0) {  // through the dialog manager, as the program's loop does
        for (const ULONGLONG end = GetTickCount64() + ms; GetTickCount64() <= end; Sleep(10)) {
            for (MSG m; PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);)
                IsDialogMessageW(window.Handle(), &m) || DispatchMessageW(&m);
        }
    }

    UINT_PTR boxTimer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        const HWND box = FindWindowW(L"#32770", nullptr);  // this thread's only: another process's is no concern
        if (IsWindowVisible(box) && GetWindowThreadProcessId(box, nullptr) == GetCurrentThreadId())
            ++boxes, PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    FrmMainWindow window;
    std::shared_ptr<sim::SimulatedHost> host =
        sim::SimulatedHost::FromScenario("space paper\nviewport 1\nviewport 1/48 active\n");
    sim::SimulatedHostThread thread{*host};
    host::HostLink link{host->Locator(), thread};
    FrmMain form{window, link};
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
    // The load fills the Architectural table: the headers, then each row's texts.
    std::wstring shown, table = L"DWG Scales|Scale Factor|Text Size SM|Text Size LG|LTScale|Dimension Style|";
    for (const catalog::ScaleRow& r : catalog::GetScaleTable(catalog::ScaleType::Architectural)) {
        for (const auto text : r.Texts()) table += win::Utf16FromUtf8(text) + L"|";
    }
    for (int row = -1; row < Rows(); ++row) {
        for (int c = 0; c < static_cast<int>(kColumnCount); ++c) {
            wchar_t text[64]{};
            LVCOLUMNW column{};
            LVITEMW item{};
            column.mask = LVCF_TEXT, column.pszText = item.pszText = text, column.cchTextMax = item.cchTextMax = 64;
            item.iSubItem = c;
            SendMessageW(Control(Slot::LVscales), row < 0 ? LVM_GETCOLUMNW : LVM_GETITEMTEXTW,
                         static_cast<WPARAM>(row < 0 ? c : row),
                         row < 0 ? reinterpret_cast<LPARAM>(&column) : reinterpret_cast<LPARAM>(&item));
            shown += text + std::wstring(L"|");
        }
    }
    EXPECT_TRUE(window.IsOptionChecked(0) && shown == table) << shown;
    EXPECT_EQ(ListView_GetExtendedListViewStyle(Control(Slot::LVscales)), LVS_EX_FULLROWSELECT);
    EXPECT_EQ(GetClassLongPtrW(window.Handle(), GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1) << "the dialog face colour";
}

TEST_F(RealWindow, ClicksDoWhatTheyAreForAndAFillDrawsTheListOnceDone) {
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
        EXPECT_EQ(host->JournalText().find("ZoomScaled") != std::string::npos, y < row.bottom)
            << "a double-click on a row applies it, below the rows nothing";
    }
    SendMessageW(Control(Slot::CmdExit), BM_CLICK, 0, 0);
    SendMessageW(window.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(ends, 2);
}

// While an action waits on the host the window takes the Exit button and the
// system keys (Alt+F4 closes) and nothing else; the cursor over it is the wait
// cursor; a click left queued when the action ends is dropped, not fired.
TEST_F(RealWindow, WhileAnActionIsInFlightOnlyExitAndTheSystemKeysAreTaken) {
    const struct {
        Slot target;
        UINT message;
        bool admitted;
    } inputs[] = {
        {Slot::CmdExit, WM_LBUTTONDOWN, true}, {Slot::CmdExit, WM_LBUTTONUP, true},
        {Slot::CmdOK, WM_LBUTTONDOWN, false},  {Slot::LVscales, WM_LBUTTONDBLCLK, false},
        {Slot::LVscales, WM_KEYDOWN, false},   {Slot::CmdNext, WM_KEYDOWN, false},
        {Slot::LVscales, WM_SYSKEYDOWN, true}, {Slot::CmdExit, WM_MOUSEMOVE, true},
        {Slot::Option1, WM_MOUSEMOVE, false},
    };
    for (const auto& input : inputs) {
        MSG message{};
        message.hwnd = Control(input.target);
        message.message = input.message;
        EXPECT_EQ(window.AdmitsWhileWaiting(message), input.admitted) << input.message;
    }

    const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    ListView_SetItemState(Control(Slot::LVscales), 9, LVIS_SELECTED, LVIS_SELECTED);  // so that Ok would zoom
    window.ShowActionInFlight(true);
    SendMessageW(Control(Slot::CmdOK), WM_SETCURSOR, reinterpret_cast<WPARAM>(Control(Slot::CmdOK)),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), wait);
    PostMessageW(Control(Slot::CmdOK), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(Control(Slot::CmdOK), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    window.ShowActionInFlight(false);
    Pump(100);
    EXPECT_EQ(host->JournalText().find("ZoomScaled"), std::string::npos) << "a queued click fired afterwards";
    SendMessageW(Control(Slot::CmdOK), WM_SETCURSOR, reinterpret_cast<WPARAM>(Control(Slot::CmdOK)),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_NE(GetCursor(), wait);
    EXPECT_EQ(ends, 0);
}

TEST_F(RealWindow, TheCheckBoxMakesTheWindowAndTheListTranslucentAndOpaqueAgainStillLayered) {
    const HWND layered[] = {window.Handle(), Control(Slot::LVscales)};
    const LONG before[] = {GetWindowLongW(layered[0], GWL_EXSTYLE), GetWindowLongW(layered[1], GWL_EXSTYLE)};
    for (const std::array<BYTE, 2> alphas : {std::array<BYTE, 2>{186, 100}, {255, 255}, {186, 100}}) {
        SendMessageW(Control(Slot::ChkTransparent), BM_CLICK, 0, 0);
        for (std::size_t i = 0; i < 2; ++i) {
            BYTE alpha = 0;
            DWORD flags = 0;
            EXPECT_TRUE(GetLayeredWindowAttributes(layered[i], nullptr, &alpha, &flags) && alpha == alphas[i] &&
                        flags == LWA_ALPHA && GetWindowLongW(layered[i], GWL_EXSTYLE) == (before[i] | WS_EX_LAYERED))
                << int{alpha};
        }
    }
}

// The design at 96 DPI, and within a pixel at any DPI, so no control (7 pixels or more inside) leaves its place.
TEST(Layout, IsTheDesignAt96DpiAndScalesWithinAPixel) {
    using Numbers = std::array<int, 2 + 4 * kSlotCount + kColumnCount>;  // client, boxes, columns
    const Numbers design{514, 328, 8,   8,   497, 217, 12,  232, 385, 49,  416, 296, 89,  25,  16, 296, 105, 25,
                         232, 296, 97,  25,  28,  256, 81,  17,  148, 256, 81,  17,  244, 256, 81, 17,  316, 256,
                         65,  17,  144, 296, 81,  25,  416, 248, 81,  25,  93,  93,  80,  80,  67, 93};
    EXPECT_EQ(std::bit_cast<Numbers>(ComputeLayout(96)), design);
    for (const int dpi : {120, 144, 192, 288}) {
        const Numbers scaled = std::bit_cast<Numbers>(ComputeLayout(static_cast<unsigned>(dpi)));
        for (std::size_t i = 0; i < design.size(); ++i) EXPECT_LE(std::abs(scaled[i] * 96 - design[i] * dpi), dpi) << i;
    }
}

}  // namespace
}  // namespace vantrel::ui::win32
