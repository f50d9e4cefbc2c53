#include "ui/ErrorReport.h"

#include "base/Hex.h"

namespace vantrel::ui {

std::string ErrorReportText(std::string_view location, std::int32_t number, std::string_view description) {
    std::string text;
    text += "Location:\t\t";
    text += location;
    text += "\r\nSource:\t\t";
    text += HexDigits(number);
    text += "h   (";
    text += std::to_string(number);
    text += ")\r\nDescription:\t";
    text += description;
    return text;
}

}  // namespace vantrel::ui
