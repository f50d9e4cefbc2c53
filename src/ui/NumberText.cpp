// Numbers as the automation library shows them: shortest text of at most 15
// significant digits, exponent form (1E-05, 1E+15) outside 1E-4 .. 1E15, the
// caller's decimal separator.
#include "ui/NumberText.h"

#include <cmath>

#include "ui/NumberDigits.h"

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
    const std::string digits = NumberDigits(value);
    std::string text;
    text.reserve(digits.size() + decimalSeparator.size());
    for (const char c : digits) {
        if (c == '.') {
            text += decimalSeparator;
        } else {
            text += c;
        }
    }
    return text;
}

}  // namespace vantrel::ui
