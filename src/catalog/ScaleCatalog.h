// The standard drawing scales: each scale system's name and its fixed rows.
// Display texts are shown exactly as stored; the zoom factor is what the host
// zoom applies. The systems are one list: the window makes an option button
// for each, in this order, and names a failure while filling under it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vantrel::catalog {

// A row's display texts in the list's column order.
using RowTexts = std::array<std::string_view, 6>;

struct ScaleRow {
    std::string_view label;
    std::string_view scaleFactor;
    std::string_view textSizeSmall;
    std::string_view textSizeLarge;
    std::string_view ltScale;
    std::string_view dimStyle;

    [[nodiscard]] constexpr RowTexts Texts() const noexcept {
        return {label, scaleFactor, textSizeSmall, textSizeLarge, ltScale, dimStyle};
    }
    // What the host zoom applies: exactly 1 / the scale factor as written
    // (digits with at most one decimal point), so that a viewport zoomed from
    // the row plots at the scale the row names.
    [[nodiscard]] constexpr double ZoomFactor() const noexcept {
        double digits = 0.0;
        double divisor = 1.0;
        bool fraction = false;
        for (const char c : scaleFactor) {
            if (c == '.') {
                fraction = true;
                continue;
            }
            digits = digits * 10.0 + (c - '0');
            if (fraction) {
                divisor *= 10.0;
            }
        }
        return 1.0 / (digits / divisor);
    }
};

// The ordered rows of one scale system; row i (1-based) is element i - 1.
using ScaleTable = std::span<const ScaleRow>;

// How the active viewport's scale is stated to the user.
enum class ScaleReadout {
    PaperPerModel,      // the scale itself: paper units per model unit
    PaperInchesPerFoot  // the paper inches that stand for one foot of the model
};

struct ScaleSystem {
    std::string_view name;
    ScaleTable rows;
    ScaleReadout readout;
};

// Texts are kept exactly as drafters know them.
inline constexpr std::array<ScaleRow, 12> kArchitectural{{
    {"12=1'-0", "1", "0.125", "0.1875", "0.5", "(ISO)"},
    {"6=1'-0", "2", "0.25", "0.375", "1", "(ISO2)"},
    {"3=1'-0", "4", "0.50", "0.75", "2", "(ISO4)"},
    {"1 1/2=1'-0", "8", "1.00", "1.50", "4", "(ISO8)"},
    {"1=1'-0", "12", "1.50", "2.25", "6", "(ISO12)"},
    {"3/4=1'-0", "16", "2.00", "3.00", "8", "(ISO16)"},
    {"1/2=1'-0", "24", "3.00", "4.50", "12", "(ISO24)"},
    {"3/8=1'-0", "32", "4.00", "6.00", "16", "(ISO32)"},
    {"1/4=1'-0", "48", "6.00", "9.00", "24", "(ISO48)"},
    {"3/16=1'-0", "64", "8.00", "12.00", "32", "(ISO64)"},
    {"1/8=1'-0", "96", "12.00", "18.00", "48", "(ISO96)"},
    {"1/16=1'-0", "192", "24.00", "36.00", "96", "(ISO192)"},
}};

// Row 1's label ends in a blank ("4/1 ", four characters): the texts are the
// table's own, shown exactly as stored and never trimmed, so the blank stays.
inline constexpr std::array<ScaleRow, 11> kMachine{{
    {"4/1 ", "0.25", "0.03125", "0.0469", "0.125", "(ANSI025)"},
    {"2/1", "0.5", "0.0625", "0.0938", "0.25", "(ANSI05)"},
    {"1/1", "1", "0.125", "0.1875", "0.5", "(ANSI)"},
    {"1/2", "2", "0.25", "0.375", "1", "(ANSI2)"},
    {"1/4", "4", "0.5", "0.75", "2", "(ANSI4)"},
    {"1/8", "8", "1", "1.5", "4", "(ANSI8)"},
    {"1/10", "10", "1.25", "1.875", "5", "(ANSI10)"},
    {"1/20", "20", "2.50", "3.75", "10", "(ANSI20)"},
    {"1/30", "30", "3.75", "5.625", "15", "(ANSI30)"},
    {"1/40", "40", "5.00", "7.50", "20", "(ANSI40)"},
    {"1/50", "50", "6.25", "9.375", "25", "(ANSI50)"},
}};

inline constexpr std::array<ScaleRow, 11> kCivil{{
    {"1=10'", "120", "15", "22.5", "60", "(ISO120)"},
    {"1=20'", "240", "30", "45", "120", "(ISO240)"},
    {"1=30'", "360", "45", "67.5", "180", "(ISO360)"},
    {"1=40'", "480", "60", "90", "240", "(ISO480)"},
    {"1=50'", "600", "75", "112.5", "300", "(ISO600)"},
    {"1=60'", "720", "90", "135", "360", "(ISO720)"},
    {"1=100'", "1200", "150", "225", "600", "(ISO1200)"},
    {"1=200'", "2400", "300", "450", "1200", "(ISO2400)"},
    {"1=300'", "3600", "450", "675", "1800", "(ISO3600)"},
    {"1=400'", "4800", "600", "900", "2400", "(ISO4800)"},
    {"1=500'", "6000", "750", "1125", "3000", "(ISO6000)"},
}};

inline constexpr std::array<ScaleRow, 10> kMetric{{
    {"5:1", ".20", "0.635", "0.952", "2.5", "(ISO02)"},
    {"2:1", ".50", "1.587", "2.381", "6.3", "(ISO05)"},
    {"1:1", "1", "3.175", "4.762", "12.7", "(ISO)"},
    {"1:2", "2", "6.350", "9.524", "25", "(ISO2)"},
    {"1:5", "5", "15.88", "23.81", "63", "(ISO5)"},
    {"1:10", "10", "31.75", "47.62", "127", "(ISO10)"},
    {"1:20", "20", "63.50", "95.24", "254", "(ISO20)"},
    {"1:50", "50", "158.75", "238.10", "635", "(ISO50)"},
    {"1:75", "75", "238.12", "357.15", "952", "(ISO75)"},
    {"1:100", "100", "317.50", "476.20", "1270", "(ISO100)"},
}};

inline constexpr std::array<ScaleSystem, 4> kScaleSystems{{
    {"Architectural", kArchitectural, ScaleReadout::PaperInchesPerFoot},
    {"Machine", kMachine, ScaleReadout::PaperPerModel},
    {"Civil", kCivil, ScaleReadout::PaperPerModel},
    {"Metric", kMetric, ScaleReadout::PaperPerModel},
}};

// Row `rowIndex` (1-based) of the system's table, or no value outside 1..n
// or for a system that does not exist.
std::optional<double> LookupZoomFactor(std::size_t system, std::int32_t rowIndex) noexcept;

}  // namespace vantrel::catalog
