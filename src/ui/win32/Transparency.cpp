#include "ui/win32/Transparency.h"

namespace vantrel::ui::win32 {

void MakeTransparent(HWND window, std::uint8_t alpha) {
    // The ANSI pair on purpose: the extended style is the same bits either way.
    const LONG style = GetWindowLongA(window, GWL_EXSTYLE);
    SetWindowLongA(window, GWL_EXSTYLE, style | WS_EX_LAYERED);
    SetLayeredWindowAttributes(window, 0, alpha, LWA_ALPHA);
}

}  // namespace vantrel::ui::win32
