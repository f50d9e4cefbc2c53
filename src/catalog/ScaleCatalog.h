// The four fixed tables of standard drawing scales. Display texts are shown
// exactly as stored; the zoom factor is what the host zoom applies.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vantrel::catalog {

// Equal to the index of the chosen option button.
enum class ScaleType : int { Architectural = 0, Machine = 1, Civil = 2, Metric = 3 };
inline constexpr int kScaleTypeCount = 4;

// A row's display texts in the list's column order.
using RowTexts = std::array<std::string_view, 6>;

struct ScaleRow {
    std::string_view Label;
    std::string_view ScaleFactor;
    std::string_view TextSizeSmall;
    std::string_view TextSizeLarge;
    std::string_view LtScale;
    std::string_view DimStyle;
    double ZoomFactor;

    [[nodiscard]] constexpr RowTexts Texts() const noexcept {
        return {Label, ScaleFactor, TextSizeSmall, TextSizeLarge, LtScale, DimStyle};
    }
};

// The ordered rows of one scale type; row i (1-based) is element i - 1.
using ScaleTable = std::span<const ScaleRow>;

ScaleTable GetScaleTable(ScaleType type) noexcept;

// Row `rowIndex` (1-based) of the type's table, or no value outside 1..n.
std::optional<double> LookupZoomFactor(ScaleType type, std::int32_t rowIndex) noexcept;

// "Architectural", "Machine", "Civil", "Metric".
std::string_view ScaleTypeName(ScaleType type) noexcept;

}  // namespace vantrel::catalog
