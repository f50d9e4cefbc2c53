// A double as the user reads it: at most 15 significant digits, no trailing
// zeros, the caller's decimal separator (the user's, on Windows).
#pragma once

#include <string>
#include <string_view>

namespace vantrel::ui {

std::string NumberText(double value, std::string_view decimalSeparator);

}  // namespace vantrel::ui
