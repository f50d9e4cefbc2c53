// The main window's design: its controls in tab order with their places and
// sizes in twips, and their conversion to pixels for a DPI. The conversion
// happens here and nowhere else, so a DPI change only needs a new layout.
#pragma once

#include <array>
#include <cstddef>

namespace vantrel::ui::win32 {

// The controls, in tab order (also their creation order).
enum class Slot : std::size_t {
    LVscales,
    FrameOptions,
    CmdExit,
    CmdOK,
    CmdGetscale,
    Option0,
    Option1,
    Option2,
    Option3,
    CmdNext,
    ChkTransparent,
};
inline constexpr std::size_t kSlotCount = 11;
inline constexpr std::size_t kOptionCount = 4;
inline constexpr std::size_t kColumnCount = 6;

constexpr std::size_t Index(Slot slot) noexcept { return static_cast<std::size_t>(slot); }
constexpr Slot OptionSlot(std::size_t index) noexcept { return static_cast<Slot>(Index(Slot::Option0) + index); }

struct Box {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

// Places relative to the window's client area (option buttons already moved
// from their frame-relative design places), sizes, client area and column
// widths, all in pixels.
struct WindowLayout {
    int clientWidth = 0;
    int clientHeight = 0;
    std::array<Box, kSlotCount> controls{};
    std::array<int, kColumnCount> columnWidths{};

    [[nodiscard]] const Box& operator[](Slot slot) const noexcept { return controls[Index(slot)]; }
};

inline constexpr int kTwipsPerInch = 1440;

// MulDiv(twips, dpi, 1440): rounds half away from zero.
int TwipsToPixels(int twips, unsigned dpi) noexcept;

// The whole window at a DPI (96 is 100 %).
WindowLayout ComputeLayout(unsigned dpi) noexcept;

}  // namespace vantrel::ui::win32
