// The digits of a finite, non-zero double in the automation library's own
// invariant form: at most 15 significant digits, no trailing zeros, '.' as
// the decimal point, exponent form (1E-05, 1.5E+15) outside 1E-4 .. 1E15.
// On Windows the library itself writes them (it is loaded anyway, and its
// text is by definition the host's); elsewhere a portable equivalent does.
#pragma once

#include <string>

namespace vantrel::ui {

std::string NumberDigits(double value);

}  // namespace vantrel::ui
