// The window's design converted to pixels for a DPI. The conversion happens
// here and nowhere else, so a DPI change only needs a new layout.
#pragma once

#include <array>

#include "ui/win32/WindowDesign.h"

namespace vantrel::ui::win32 {

// Places relative to the window's client area, sizes, the client area and
// the list's column widths, all in pixels; controls in the order of kControls.
struct WindowLayout {
    int clientWidth = 0;
    int clientHeight = 0;
    std::array<Box, kControlCount> controls{};
    std::array<int, kColumns.size()> columnWidths{};
};

// The whole window at a DPI (96 is 100 %).
WindowLayout ComputeLayout(unsigned dpi) noexcept;

}  // namespace vantrel::ui::win32
