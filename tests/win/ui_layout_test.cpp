// The window's design in pixels: every control's rectangle at the common DPIs,
// and the real window laid out as computed, again after a DPI change.
#include <gtest/gtest.h>

#include <windows.h>

#include <array>

#include "ui/win32/FrmMainWindow.h"
#include "ui/win32/Layout.h"
#include "ui_support.h"

namespace vantrel::ui::win32 {
namespace {

struct LayoutCase {
    unsigned dpi;
    int clientWidth;
    int clientHeight;
    std::array<Box, kSlotCount> controls;  // in tab order
    std::array<int, kColumnCount> columns;
};

// 96 DPI is the design's own pixel column; the others are the twips at that
// DPI, rounded half up.
const LayoutCase kCases[] = {
    {96,
     514,
     328,
     {{{8, 8, 497, 217},
       {12, 232, 385, 49},
       {416, 296, 89, 25},
       {16, 296, 105, 25},
       {232, 296, 97, 25},
       {28, 256, 81, 17},
       {148, 256, 81, 17},
       {244, 256, 81, 17},
       {316, 256, 65, 17},
       {144, 296, 81, 25},
       {416, 248, 81, 25}}},
     {93, 93, 80, 80, 67, 93}},
    {120,
     643,
     410,
     {{{10, 10, 621, 271},
       {15, 290, 481, 61},
       {520, 370, 111, 31},
       {20, 370, 131, 31},
       {290, 370, 121, 31},
       {35, 320, 101, 21},
       {185, 320, 101, 21},
       {305, 320, 101, 21},
       {395, 320, 81, 21},
       {180, 370, 101, 31},
       {520, 310, 101, 31}}},
     {117, 117, 100, 100, 83, 117}},
    {144,
     771,
     492,
     {{{12, 12, 746, 326},
       {18, 348, 578, 74},
       {624, 444, 134, 38},
       {24, 444, 158, 38},
       {348, 444, 146, 38},
       {42, 384, 122, 26},
       {222, 384, 122, 26},
       {366, 384, 122, 26},
       {474, 384, 98, 26},
       {216, 444, 122, 38},
       {624, 372, 122, 38}}},
     {140, 140, 120, 120, 100, 140}},
    {192,
     1028,
     656,
     {{{16, 16, 994, 434},
       {24, 464, 770, 98},
       {832, 592, 178, 50},
       {32, 592, 210, 50},
       {464, 592, 194, 50},
       {56, 512, 162, 34},
       {296, 512, 162, 34},
       {488, 512, 162, 34},
       {632, 512, 130, 34},
       {288, 592, 162, 50},
       {832, 496, 162, 50}}},
     {187, 187, 160, 160, 133, 187}},
};

class LayoutAtDpi : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutAtDpi, EveryControlRectangleIsTheDesignInPixels) {
    const LayoutCase& expected = GetParam();
    const WindowLayout layout = ComputeLayout(expected.dpi);
    EXPECT_EQ(layout.clientWidth, expected.clientWidth);
    EXPECT_EQ(layout.clientHeight, expected.clientHeight);
    for (std::size_t i = 0; i < kSlotCount; ++i) {
        const Box& box = layout.controls[i];
        const Box& want = expected.controls[i];
        EXPECT_EQ(box, want) << "control " << i << " at " << expected.dpi << " DPI: got " << box.left << "," << box.top
                             << " " << box.width << "x" << box.height;
    }
    EXPECT_EQ(layout.columnWidths, expected.columns);
}

TEST_P(LayoutAtDpi, ControlsStayInsideTheClientAreaAndOptionsInsideTheirFrame) {
    const WindowLayout layout = ComputeLayout(GetParam().dpi);
    for (const Box& box : layout.controls) {
        EXPECT_GE(box.left, 0);
        EXPECT_GE(box.top, 0);
        EXPECT_LE(box.left + box.width, layout.clientWidth);
        EXPECT_LE(box.top + box.height, layout.clientHeight);
    }
    const Box& frame = layout[Slot::FrameOptions];
    for (std::size_t i = 0; i < kOptionCount; ++i) {
        const Box& option = layout[OptionSlot(i)];
        EXPECT_GT(option.left, frame.left);
        EXPECT_GT(option.top, frame.top);
        EXPECT_LT(option.left + option.width, frame.left + frame.width);
        EXPECT_LT(option.top + option.height, frame.top + frame.height);
    }
    // The columns are wider than the list: it scrolls sideways.
    int columns = 0;
    for (const int width : layout.columnWidths) columns += width;
    EXPECT_GT(columns, layout[Slot::LVscales].width);
}

INSTANTIATE_TEST_SUITE_P(CommonDpis, LayoutAtDpi, ::testing::ValuesIn(kCases),
                         [](const auto& tested) { return "Dpi" + std::to_string(tested.param.dpi); });

// The real window's client area and each control, read back from the system.
void ExpectWindowLaidOutAt(const FrmMainWindow& window, unsigned dpi) {
    const WindowLayout layout = ComputeLayout(dpi);
    RECT client{};
    GetClientRect(window.Handle(), &client);
    EXPECT_EQ(client.right - client.left, layout.clientWidth);
    EXPECT_EQ(client.bottom - client.top, layout.clientHeight);
    for (std::size_t i = 0; i < kSlotCount; ++i) {
        RECT rect{};
        GetWindowRect(window.Control(static_cast<Slot>(i)), &rect);
        MapWindowPoints(HWND_DESKTOP, window.Handle(), reinterpret_cast<POINT*>(&rect), 2);
        const Box real{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
        EXPECT_EQ(real, layout.controls[i]) << "control " << i << " at " << dpi << " DPI";
    }
    for (std::size_t c = 0; c < kColumnCount; ++c) {
        EXPECT_EQ(SendMessageW(window.Control(Slot::LVscales), LVM_GETCOLUMNWIDTH, c, 0), layout.columnWidths[c]);
    }
}

LONG FontHeight(HFONT font) {
    LOGFONTW logFont{};
    GetObjectW(font, sizeof logFont, &logFont);
    return logFont.lfHeight < 0 ? -logFont.lfHeight : logFont.lfHeight;
}

TEST(WindowLayout, TheRealWindowIsLaidOutForItsDpi) {
    FrmMainWindow window;
    window.Create(GetModuleHandleW(nullptr));
    EXPECT_EQ(window.Dpi(), GetDpiForWindow(window.Handle()));
    ExpectWindowLaidOutAt(window, window.Dpi());
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(window.Control(Slot::CmdOK), WM_GETFONT, 0, 0)), window.Font());
}

TEST(WindowLayout, ADpiChangeLaysOutAgainFromTwipsWithTheSuggestedRectAndTheFontForTheDpi) {
    FrmMainWindow window;
    window.Create(GetModuleHandleW(nullptr));
    const LONG fontBefore = FontHeight(window.Font());
    const unsigned newDpi = window.Dpi() * 2;
    RECT suggested{40, 30, 0, 0};
    const WindowLayout layout = ComputeLayout(newDpi);
    RECT frame{0, 0, layout.clientWidth, layout.clientHeight};
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongW(window.Handle(), GWL_STYLE)), FALSE,
                             static_cast<DWORD>(GetWindowLongW(window.Handle(), GWL_EXSTYLE)), newDpi);
    suggested.right = suggested.left + (frame.right - frame.left);
    suggested.bottom = suggested.top + (frame.bottom - frame.top);

    SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi), reinterpret_cast<LPARAM>(&suggested));

    EXPECT_EQ(window.Dpi(), newDpi);
    RECT placed{};
    GetWindowRect(window.Handle(), &placed);
    EXPECT_EQ(placed.left, suggested.left);
    EXPECT_EQ(placed.top, suggested.top);
    EXPECT_EQ(placed.right - placed.left, suggested.right - suggested.left);
    for (std::size_t i = 0; i < kSlotCount; ++i) {
        RECT rect{};
        GetWindowRect(window.Control(static_cast<Slot>(i)), &rect);
        MapWindowPoints(HWND_DESKTOP, window.Handle(), reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ((Box{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top}), layout.controls[i])
            << "control " << i;
    }
    EXPECT_EQ(SendMessageW(window.Control(Slot::LVscales), LVM_GETCOLUMNWIDTH, 0, 0), layout.columnWidths[0]);
    // The message font for twice the DPI is about twice as tall.
    EXPECT_GT(FontHeight(window.Font()), fontBefore + fontBefore / 2);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(window.Control(Slot::ChkTransparent), WM_GETFONT, 0, 0)),
              window.Font());
}

}  // namespace
}  // namespace vantrel::ui::win32
