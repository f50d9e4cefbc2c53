#include "ui/ErrorReport.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace vantrel::ui {
namespace {

std::string Hex(std::int32_t number) {
    // Negative numbers (host status codes) show as their 32-bit two's complement.
    const auto bits = static_cast<std::uint32_t>(number);
    std::array<char, 16> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), bits, 16);
    std::string text(buffer.data(), result.ptr);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c; });
    return text;
}

}  // namespace

std::string ErrorReportText(std::string_view location, std::int32_t number, std::string_view description) {
    std::string text;
    text += "Location:\t\t";
    text += location;
    text += "\r\nSource:\t\t";
    text += Hex(number);
    text += "h   (";
    text += std::to_string(number);
    text += ")\r\nDescription:\t";
    text += description;
    return text;
}

}  // namespace vantrel::ui
