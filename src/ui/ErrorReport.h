// The text of the "App Error" box.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel::ui {

inline constexpr std::string_view kErrorBoxTitle = "App Error";

// "Location:\t\t<location>\r\nSource:\t\t<HEX>h   (<decimal>)\r\nDescription:\t<description>"
std::string ErrorReportText(std::string_view location, std::int32_t number, std::string_view description);

}  // namespace vantrel::ui
