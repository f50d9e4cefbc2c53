// The automation library's number text, portably: std::to_chars with 15
// significant digits gives the same digits; only the exponent letter differs.
#include "ui/NumberDigits.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace vantrel::ui {

std::string NumberDigits(double value) {
    constexpr int kSignificantDigits = 15;
    std::array<char, 64> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::general, kSignificantDigits);
    if (ec != std::errc{}) {
        return "NaN";  // cannot happen with this buffer; never show garbage
    }
    std::string digits(buffer.data(), end);
    std::replace(digits.begin(), digits.end(), 'e', 'E');
    return digits;
}

}  // namespace vantrel::ui
