// Numbers as the automation library shows them: shortest text of at most 15
// significant digits, exponent form (1E-05, 1E+15) outside 1E-4 .. 1E15.
#include "ui/NumberText.h"

#include <array>
#include <charconv>
#include <cmath>

namespace vantrel::ui {

std::string NumberText(double value, std::string_view decimalSeparator) {
    // A host should never report these; words read better than the C
    // runtime's codes for them.
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "Infinity" : "-Infinity";
    }
    if (value == 0.0) {
        return "0";  // also -0, which users never mean
    }
    constexpr int kSignificantDigits = 15;
    std::array<char, 64> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::general, kSignificantDigits);
    if (ec != std::errc{}) {
        return "NaN";  // cannot happen with this buffer; never show garbage
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(end - buffer.data()) + decimalSeparator.size());
    for (const char* p = buffer.data(); p != end; ++p) {
        if (*p == '.') {
            text += decimalSeparator;
        } else if (*p == 'e') {
            text += 'E';
        } else {
            text += *p;
        }
    }
    return text;
}

}  // namespace vantrel::ui
