#include "ui/win32/Layout.h"

namespace vantrel::ui::win32 {
namespace {

constexpr int kTwipsPerInch = 1440;

// Rounds half away from zero.
int TwipsToPixels(int twips, unsigned dpi) noexcept { return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch); }

}  // namespace

WindowLayout ComputeLayout(unsigned dpi) noexcept {
    WindowLayout layout;
    layout.clientWidth = TwipsToPixels(kClientWidthTwips, dpi);
    layout.clientHeight = TwipsToPixels(kClientHeightTwips, dpi);
    for (std::size_t i = 0; i < kControlCount; ++i) {
        const Box& twips = kControls[i].place;
        layout.controls[i] = {TwipsToPixels(twips.left, dpi), TwipsToPixels(twips.top, dpi),
                              TwipsToPixels(twips.width, dpi), TwipsToPixels(twips.height, dpi)};
    }
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
        layout.columnWidths[c] = TwipsToPixels(kColumns[c].widthTwips, dpi);
    }
    return layout;
}

}  // namespace vantrel::ui::win32
