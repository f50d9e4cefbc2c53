// Constant opacity for one native window, top-level or child, through the
// layered-window attributes of user32.
#pragma once

#include <windows.h>

#include <cstdint>

namespace vantrel::ui::win32 {

// Adds WS_EX_LAYERED to the window's extended style (never removes it) and
// draws the whole window with `alpha` (0 transparent, 255 opaque). The
// results are not checked: a window that cannot be layered keeps its look.
void MakeTransparent(HWND window, std::uint8_t alpha);

}  // namespace vantrel::ui::win32
