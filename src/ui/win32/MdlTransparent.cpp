#include "ui/win32/MdlTransparent.h"

namespace vantrel::ui::win32 {
namespace {
constexpr LONG kLayeredStyleBit = 0x80000;  // WS_EX_LAYERED
constexpr DWORD kAlphaFlag = 2;             // LWA_ALPHA
}  // namespace

void MakeTransparent(HWND window, std::uint8_t alpha) {
    const LONG style = GetWindowLongA(window, GWL_EXSTYLE);
    SetWindowLongA(window, GWL_EXSTYLE, style | kLayeredStyleBit);
    SetLayeredWindowAttributes(window, 0, alpha, kAlphaFlag);
}

}  // namespace vantrel::ui::win32
