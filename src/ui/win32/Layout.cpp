#include "ui/win32/Layout.h"

#include <windows.h>

namespace vantrel::ui::win32 {
namespace {

// The design, in twips. Option buttons are placed relative to FrameOptions.
constexpr int kClientWidthTwips = 7710;
constexpr int kClientHeightTwips = 4920;

constexpr std::array<Box, kSlotCount> kDesign{{
    {120, 120, 7455, 3255},   // LVscales
    {180, 3480, 5775, 735},   // FrameOptions
    {6240, 4440, 1335, 375},  // CmdExit
    {240, 4440, 1575, 375},   // CmdOK
    {3480, 4440, 1455, 375},  // CmdGetscale
    {240, 360, 1215, 255},    // Option1(0), in the frame
    {2040, 360, 1215, 255},   // Option1(1), in the frame
    {3480, 360, 1215, 255},   // Option1(2), in the frame
    {4560, 360, 975, 255},    // Option1(3), in the frame
    {2160, 4440, 1215, 375},  // CmdNext
    {6240, 3720, 1215, 375},  // ChkTransparent
}};

constexpr std::array<int, kColumnCount> kColumnWidthsTwips{1400, 1400, 1200, 1200, 1000, 1400};

constexpr bool InFrame(std::size_t i) noexcept {
    return i >= Index(Slot::Option0) && i < Index(Slot::Option0) + kOptionCount;
}

}  // namespace

int TwipsToPixels(int twips, unsigned dpi) noexcept { return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch); }

WindowLayout ComputeLayout(unsigned dpi) noexcept {
    WindowLayout layout;
    layout.clientWidth = TwipsToPixels(kClientWidthTwips, dpi);
    layout.clientHeight = TwipsToPixels(kClientHeightTwips, dpi);
    const Box& frame = kDesign[Index(Slot::FrameOptions)];
    for (std::size_t i = 0; i < kSlotCount; ++i) {
        Box twips = kDesign[i];
        if (InFrame(i)) {
            // The window owns the option buttons, so their notifications reach
            // it; the frame only draws around them.
            twips.left += frame.left;
            twips.top += frame.top;
        }
        layout.controls[i] = {TwipsToPixels(twips.left, dpi), TwipsToPixels(twips.top, dpi),
                              TwipsToPixels(twips.width, dpi), TwipsToPixels(twips.height, dpi)};
    }
    for (std::size_t c = 0; c < kColumnCount; ++c) layout.columnWidths[c] = TwipsToPixels(kColumnWidthsTwips[c], dpi);
    return layout;
}

}  // namespace vantrel::ui::win32
