// The real window over the simulated host: the controls as designed at its DPI
// and after a change, the list, clicks, input while an action is in flight,
// transparency, message boxes and the icon.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimulatedHost.h"
#include "sim/SimulatedHostThread.h"
#include "ui/FrmMain.h"
#include "ui/win32/FrmMainWindow.h"
#include "ui/win32/resources/resource.h"

namespace vantrel::ui::win32 {
namespace {

// A window that counts the program's end instead of ending the test.
class CountingWindow : public FrmMainWindow {
public:
    void EndProgram() noexcept override { ++ends; }
    int ends = 0;
};

// What a message box showed, read while it was open.
struct SeenBox {
    HWND owner = nullptr;
    bool ownerEnabled = true;
    std::wstring text;
};
std::vector<SeenBox> seenBoxes;

// Reads and closes this thread's message box; another process's is no concern.
void CALLBACK CloseBox(HWND, UINT, UINT_PTR, DWORD) {
    const HWND box = FindWindowW(L"#32770", nullptr);
    if (!IsWindowVisible(box) || GetWindowThreadProcessId(box, nullptr) != GetCurrentThreadId()) {
        return;
    }
    SeenBox seen;
    seen.owner = GetWindow(box, GW_OWNER);
    seen.ownerEnabled = IsWindowEnabled(seen.owner) != FALSE;
    wchar_t text[128]{};
    GetDlgItemTextW(box, 0xFFFF, text, 128);  // the box's static text
    seen.text = text;
    seenBoxes.push_back(seen);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

// The window, loaded and shown, over two viewports.
class RealWindow : public ::testing::Test {
protected:
    RealWindow() {
        seenBoxes.clear();
        window.Create(GetModuleHandleW(nullptr));
        window.Attach(&form);
        window.Raise(Event::Load);
        ShowWindow(window.Handle(), SW_SHOW);
        SetForegroundWindow(window.Handle());
    }
    ~RealWindow() override {
        KillTimer(nullptr, boxTimer);
        EXPECT_TRUE(seenBoxes.empty()) << "a message box was shown";
    }

    HWND Control(Event event, int index = 0) const { return window.Control(event, index); }
    HWND List() const { return Control(Event::RowApplied); }
    int Rows() const { return static_cast<int>(SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0)); }
    std::wstring Cell(int row, int column) const {
        wchar_t text[64]{};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 64;
        SendMessageW(List(), LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return text;
    }
    std::wstring RowText(int row) const {
        std::wstring text;
        for (int column = 0; column < 6; ++column) {
            text += Cell(row, column);
            text += L"|";
        }
        return text;
    }
    // Dispatches through the dialog manager, as the program's loop does.
    void Pump(ULONGLONG ms) {
        const ULONGLONG end = GetTickCount64() + ms;
        while (GetTickCount64() <= end) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (!IsDialogMessageW(window.Handle(), &message)) {
                    DispatchMessageW(&message);
                }
            }
            Sleep(10);
        }
    }

    UINT_PTR boxTimer = SetTimer(nullptr, 0, 50, CloseBox);
    CountingWindow window;
    std::shared_ptr<sim::SimulatedHost> host =
        sim::SimulatedHost::FromScenario("space paper\nviewport 1\nviewport 1/48 active\n");
    sim::SimulatedHostThread thread{*host};
    host::HostLink link{host->Locator(), thread};
    FrmMain form{window, link};
};

// The design at 96 DPI in pixels (15 twips to a pixel), in tab order but for
// the frame; the option buttons sit in the frame at (12, 232).
struct DesignedControl {
    Event event;
    int index;
    const wchar_t* caption;
    Box pixels;
};
const DesignedControl kDesignAt96[] = {
    {Event::RowApplied, 0, L"", {8, 8, 497, 217}},
    {Event::ExitClick, 0, L"Exit", {416, 296, 89, 25}},
    {Event::OkClick, 0, L"Ok", {16, 296, 105, 25}},
    {Event::CurrentScaleClick, 0, L"Current Scale", {232, 296, 97, 25}},
    {Event::ScaleSystemChosen, 0, L"Architectural", {28, 256, 81, 17}},
    {Event::ScaleSystemChosen, 1, L"Machine", {148, 256, 81, 17}},
    {Event::ScaleSystemChosen, 2, L"Civil", {244, 256, 81, 17}},
    {Event::ScaleSystemChosen, 3, L"Metric", {316, 256, 65, 17}},
    {Event::NextViewportClick, 0, L"Next VPort", {144, 296, 81, 25}},
    {Event::TransparentClick, 0, L"Transparent", {416, 248, 81, 25}},
};
constexpr int kClientWidthAt96 = 514;
constexpr int kClientHeightAt96 = 328;
const std::array<int, 6> kColumnWidthsAt96{93, 93, 80, 80, 67, 93};

Box PlaceInWindow(HWND control, HWND window) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// At the system's 96 DPI exactly as designed; after the system moves the
// window to a monitor at 192 DPI, twice that, in the message face at 8 points.
TEST_F(RealWindow, TheControlsAreAsDesignedAtTheDpiAlsoAfterAChange) {
    ASSERT_EQ(window.Dpi(), 96U) << "the test's display";
    RECT client{};
    GetClientRect(window.Handle(), &client);
    EXPECT_EQ(client.right, kClientWidthAt96);
    EXPECT_EQ(client.bottom, kClientHeightAt96);
    for (const DesignedControl& control : kDesignAt96) {
        const HWND handle = Control(control.event, control.index);
        wchar_t caption[32]{};
        GetWindowTextW(handle, caption, 32);
        EXPECT_STREQ(caption, control.caption);
        EXPECT_EQ(PlaceInWindow(handle, window.Handle()), control.pixels) << control.index;
    }
    EXPECT_EQ(GetWindowLongW(List(), GWL_EXSTYLE), WS_EX_CLIENTEDGE);
    LOGFONTW font{};
    GetObjectW(window.Font(), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -11);

    RECT suggested{40, 30, 1140, 830};
    SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    RECT placed{};
    GetWindowRect(window.Handle(), &placed);
    EXPECT_TRUE(EqualRect(&placed, &suggested)) << "the window goes where the system says";
    GetObjectW(window.Font(), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -21);
    EXPECT_EQ(font.lfWidth, 0);
    for (const DesignedControl& control : kDesignAt96) {
        const HWND handle = Control(control.event, control.index);
        const Box& at96 = control.pixels;
        const Box doubled{at96.left * 2, at96.top * 2, at96.width * 2, at96.height * 2};
        EXPECT_EQ(PlaceInWindow(handle, window.Handle()), doubled) << control.index;
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(handle, WM_GETFONT, 0, 0)), window.Font());
    }
    EXPECT_EQ(SendMessageW(List(), LVM_GETCOLUMNWIDTH, 5, 0), 187) << "1400 twips at 192 DPI, rounded";
}

// The load lists Architectural: its headers and rows as drafters know them.
TEST_F(RealWindow, TheLoadListsTheArchitecturalScales) {
    const wchar_t* const headers[] = {L"DWG Scales",   L"Scale Factor", L"Text Size SM",
                                      L"Text Size LG", L"LTScale",      L"Dimension Style"};
    for (int c = 0; c < 6; ++c) {
        wchar_t text[64]{};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = text;
        column.cchTextMax = 64;
        SendMessageW(List(), LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
        EXPECT_STREQ(text, headers[c]);
        EXPECT_EQ(SendMessageW(List(), LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0),
                  kColumnWidthsAt96[static_cast<std::size_t>(c)]);
    }
    EXPECT_EQ(Rows(), 12);
    EXPECT_EQ(RowText(0), L"12=1'-0|1|0.125|0.1875|0.5|(ISO)|");
    EXPECT_EQ(RowText(11), L"1/16=1'-0|192|24.00|36.00|96|(ISO192)|");
    EXPECT_EQ(SendMessageW(Control(Event::ScaleSystemChosen, 0), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(ListView_GetExtendedListViewStyle(List()), LVS_EX_FULLROWSELECT);
    EXPECT_EQ(GetClassLongPtrW(window.Handle(), GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1) << "the dialog face colour";
}

TEST_F(RealWindow, ClicksDoWhatTheyAreForAndAFillDrawsTheListOnceDone) {
    UpdateWindow(window.Handle());
    SendMessageW(Control(Event::ScaleSystemChosen, 3), BM_CLICK, 0, 0);
    EXPECT_EQ(Rows(), 10);
    EXPECT_EQ(RowText(7), L"1:50|50|158.75|238.10|635|(ISO50)|");
    EXPECT_TRUE(GetUpdateRect(List(), nullptr, FALSE)) << "the list draws once the fill is done";
    RECT row{};
    ListView_GetItemRect(List(), 7, &row, LVIR_BOUNDS);
    ListView_SetItemState(List(), 7, LVIS_SELECTED, LVIS_SELECTED);  // so that an apply would zoom
    const double& floatingScale = host->documents[0].paperSpace[1].customScale;
    PostMessageW(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(30, row.bottom + 40));
    Pump(300);
    EXPECT_EQ(floatingScale, 1.0 / 48) << "a double-click below the rows zooms nothing";
    PostMessageW(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(30, (row.top + row.bottom) / 2));
    Pump(300);
    EXPECT_EQ(floatingScale, 0.02) << "a double-click on 1:50 zooms to it";
    SendMessageW(Control(Event::ExitClick), BM_CLICK, 0, 0);
    EXPECT_EQ(window.ends, 1);
    SendMessageW(window.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(window.ends, 2);
}

// While an action waits on the host the window takes the Exit button and the
// system keys (Alt+F4 closes) and nothing else; the cursor over it is the wait
// cursor; a click left queued when the action ends is dropped, not fired.
TEST_F(RealWindow, WhileAnActionIsInFlightOnlyExitAndTheSystemKeysAreTaken) {
    const struct {
        Event target;
        UINT message;
        bool admitted;
    } inputs[] = {
        {Event::ExitClick, WM_LBUTTONDOWN, true},        {Event::ExitClick, WM_LBUTTONUP, true},
        {Event::OkClick, WM_LBUTTONDOWN, false},         {Event::RowApplied, WM_LBUTTONDBLCLK, false},
        {Event::RowApplied, WM_KEYDOWN, false},          {Event::NextViewportClick, WM_KEYDOWN, false},
        {Event::RowApplied, WM_SYSKEYDOWN, true},        {Event::ExitClick, WM_MOUSEMOVE, true},
        {Event::ScaleSystemChosen, WM_MOUSEMOVE, false},
    };
    for (const auto& input : inputs) {
        MSG message{};
        message.hwnd = Control(input.target);
        message.message = input.message;
        EXPECT_EQ(window.AdmitsWhileWaiting(message), input.admitted) << input.message;
    }

    const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    const HWND ok = Control(Event::OkClick);
    ListView_SetItemState(List(), 9, LVIS_SELECTED, LVIS_SELECTED);  // so that Ok would zoom
    window.ShowActionInFlight(true);
    SendMessageW(ok, WM_SETCURSOR, reinterpret_cast<WPARAM>(ok), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), wait);
    PostMessageW(ok, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(ok, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    window.ShowActionInFlight(false);
    Pump(100);
    EXPECT_EQ(host->JournalText().find("ZoomScaled"), std::string::npos) << "a queued click fired afterwards";
    SendMessageW(ok, WM_SETCURSOR, reinterpret_cast<WPARAM>(ok), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_NE(GetCursor(), wait);
    EXPECT_EQ(window.ends, 0);
}

TEST_F(RealWindow, TheCheckBoxMakesTheWindowAndTheListTranslucentAndOpaqueAgainStillLayered) {
    const struct {
        BYTE window;
        BYTE list;
    } clicks[] = {{186, 100}, {255, 255}, {186, 100}};
    const HWND layered[] = {window.Handle(), List()};
    const LONG before[] = {GetWindowLongW(layered[0], GWL_EXSTYLE), GetWindowLongW(layered[1], GWL_EXSTYLE)};
    for (const auto& click : clicks) {
        SendMessageW(Control(Event::TransparentClick), BM_CLICK, 0, 0);
        const BYTE expected[] = {click.window, click.list};
        for (std::size_t i = 0; i < 2; ++i) {
            BYTE alpha = 0;
            DWORD flags = 0;
            EXPECT_TRUE(GetLayeredWindowAttributes(layered[i], nullptr, &alpha, &flags));
            EXPECT_EQ(alpha, expected[i]);
            EXPECT_EQ(flags, static_cast<DWORD>(LWA_ALPHA));
            EXPECT_EQ(GetWindowLongW(layered[i], GWL_EXSTYLE), before[i] | WS_EX_LAYERED);
        }
    }
}

// Every box is owned by the window, which is disabled under it, also before
// the window is first shown (the load); its text arrives whole. (Wine brings
// every box to the front by itself, so MB_SETFOREGROUND cannot be told here.)
TEST_F(RealWindow, MessageBoxesAreOwnedByTheWindow) {
    ShowWindow(window.Handle(), SW_HIDE);
    const std::string text =
        "Ma\xC3\x9F"
        "stab 1:50 \xE2\x80\x94 \xC2\xBD";  // "Maßstab 1:50 — ½"
    EXPECT_EQ(window.ShowMessage(text, "Vantrel", MessageStyle::Plain), MessageAnswer::Ok);
    ASSERT_EQ(seenBoxes.size(), 1u);
    EXPECT_EQ(seenBoxes[0].owner, window.Handle());
    EXPECT_FALSE(seenBoxes[0].ownerEnabled);
    EXPECT_EQ(seenBoxes[0].text, L"Ma\u00DFstab 1:50 \u2014 \u00BD");
    EXPECT_TRUE(IsWindowEnabled(window.Handle()));
    seenBoxes.clear();
}

// The icon carries an image for each size Windows asks for between 100 %
// and 200 % and in Explorer: 16, 24, 32, 48 and 256 pixels.
TEST(Icon, CarriesAnImageForEverySizeWindowsAsksFor) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDI_VANTREL), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_NE(found, nullptr);
    const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(directory, nullptr);
    // GRPICONDIR: reserved, type, count (WORDs); then 14-byte entries whose
    // first byte is the width, 0 standing for 256.
    const int count = directory[4] | (directory[5] << 8);
    std::vector<int> widths;
    for (int i = 0; i < count; ++i) {
        const int width = directory[6 + 14 * i];
        widths.push_back(width == 0 ? 256 : width);
    }
    std::sort(widths.begin(), widths.end());
    EXPECT_EQ(widths, (std::vector<int>{16, 24, 32, 48, 256}));
}

}  // namespace
}  // namespace vantrel::ui::win32
