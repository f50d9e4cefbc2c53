#include "e2e_user.h"

namespace vantrel::e2e {
namespace {

constexpr wchar_t kMainTitle[] = L"Standard Scales";

std::vector<std::string> Narrowed(const std::vector<std::wstring>& texts) {
    std::vector<std::string> narrow;
    for (const std::wstring& text : texts) narrow.push_back(win::Utf8FromUtf16(text));
    return narrow;
}

}  // namespace

std::optional<VantrelWindow> VantrelWindow::WaitFor(DWORD processId, Milliseconds timeout) {
    HWND window = nullptr;
    HWND list = nullptr;
    if (!WaitUntil(
            [&] {
                window = driver::AnyVisibleWindow(processId, kMainTitle)
                             ? driver::FindTopLevelWindow(processId, kMainTitle)
                             : nullptr;
                list = window != nullptr ? driver::FindList(window) : nullptr;
                return list != nullptr;
            },
            timeout)) {
        return std::nullopt;
    }
    return VantrelWindow(window, list);
}

bool VantrelWindow::Shown(DWORD processId) { return driver::AnyVisibleWindow(processId, kMainTitle); }

std::vector<std::string> VantrelWindow::Headers() const { return Narrowed(driver::ListHeaders(list_)); }

std::vector<std::vector<std::string>> VantrelWindow::Rows() const {
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : driver::ListRows(list_)) rows.push_back(Narrowed(row));
    return rows;
}

bool VantrelWindow::WaitForRowCount(std::size_t count, Milliseconds timeout) const {
    return WaitUntil([&] { return static_cast<std::size_t>(driver::ListRowCount(list_)) == count; }, timeout);
}

bool VantrelWindow::IsChecked(const std::wstring& caption) const { return driver::IsChecked(window_, caption); }

void VantrelWindow::Click(const std::wstring& caption) const { driver::ClickButton(window_, caption); }

void VantrelWindow::SelectRow(int row) const { driver::SelectListRow(list_, row); }

void VantrelWindow::DoubleClickRow(int row) const {
    driver::SelectListRow(list_, row);
    driver::DoubleClickListRow(list_, row);
}

std::optional<BYTE> VantrelWindow::Alpha(HWND window) {
    if ((GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED) == 0) return BYTE{255};
    return driver::LayeredAlpha(window);
}

std::optional<MessageBoxSeen> WaitForMessageBox(DWORD processId, Milliseconds timeout) {
    const HWND box = driver::WaitForMessageBox(processId, timeout);
    if (box == nullptr) return std::nullopt;
    const driver::MessageBoxContent content = driver::ReadMessageBox(box);
    return MessageBoxSeen{box, win::Utf8FromUtf16(content.title), win::Utf8FromUtf16(content.text)};
}

bool MessageBoxShown(DWORD processId) { return driver::FindMessageBox(processId) != nullptr; }

void PressOk(const MessageBoxSeen& box) { driver::PressOk(box.window); }

void Press(const MessageBoxSeen& box, int id) { driver::PressButton(box.window, id); }

}  // namespace vantrel::e2e

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vantrel::e2e {

std::vector<double> Arguments(const std::string& call) {
    std::vector<double> numbers;
    const auto open = call.find('(');
    const auto close = call.find(')', open);
    if (open == std::string::npos || close == std::string::npos) return numbers;
    std::string_view rest(call.data() + open + 1, close - open - 1);
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        std::string_view piece = rest.substr(0, comma);
        while (!piece.empty() && piece.front() == ' ') piece.remove_prefix(1);
        double value = 0;
        const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (error == std::errc() && end == piece.data() + piece.size()) numbers.push_back(value);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return numbers;
}

std::string SampleSheet() {
    std::ifstream file(std::filesystem::path(WindowsPath(VANTREL_SAMPLE_SHEET)), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace vantrel::e2e
