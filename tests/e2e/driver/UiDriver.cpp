#include "driver/UiDriver.h"

#include <commctrl.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "win/Utf16.h"

namespace vantrel::e2e::driver {
namespace {

using win::Utf8FromUtf16;

// A window that takes longer is hung. Not shorter, and not the system's own
// "hung" verdict (SMTO_ABORTIFHUNG): during a long pass over paper space, or a
// call to a host that has just vanished, the window's thread answers only once
// the host call is over, seconds later under Wine.
constexpr UINT kAnswerTimeoutMs = 15000;

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + " (error " + std::to_string(GetLastError()) + ")");
}

// A message to another process's window that cannot hang the driver.
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kAnswerTimeoutMs, &result)) {
        Fail("the window did not answer message " + std::to_string(message));
    }
    return static_cast<LRESULT>(result);
}

DWORD ProcessOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

// Memory in the process that owns a window, for messages that carry pointers.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, std::size_t size) : size_(size) {
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                               FALSE, ProcessOf(window));
        if (!process_) Fail("cannot open the window's process");
        address_ =
            static_cast<char*>(VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!address_) {
            CloseHandle(process_);
            Fail("cannot place a buffer in the window's process");
        }
    }
    ~RemoteBuffer() {
        VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    [[nodiscard]] char* At(std::size_t offset = 0) const noexcept { return address_ + offset; }
    [[nodiscard]] LPARAM Param() const noexcept { return reinterpret_cast<LPARAM>(address_); }

    void Write(const void* data, std::size_t size, std::size_t offset = 0) {
        SIZE_T written = 0;
        if (offset + size > size_ || !WriteProcessMemory(process_, At(offset), data, size, &written) ||
            written != size) {
            Fail("cannot write the window's process memory");
        }
    }
    void Read(void* data, std::size_t size, std::size_t offset = 0) const {
        SIZE_T read = 0;
        if (offset + size > size_ || !ReadProcessMemory(process_, At(offset), data, size, &read) || read != size) {
            Fail("cannot read the window's process memory");
        }
    }

private:
    HANDLE process_ = nullptr;
    char* address_ = nullptr;
    std::size_t size_ = 0;
};

constexpr int kTextCapacity = 512;  // characters, for list texts

std::wstring ReadRemoteText(const RemoteBuffer& buffer, std::size_t offset) {
    std::wstring text(kTextCapacity, L'\0');
    buffer.Read(text.data(), kTextCapacity * sizeof(wchar_t), offset);
    text.resize(text.find(L'\0') == std::wstring::npos ? text.size() : text.find(L'\0'));
    return text;
}

std::wstring ListText(HWND list, int row, int column) {
    RemoteBuffer buffer(list, sizeof(LVITEMW) + kTextCapacity * sizeof(wchar_t));
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(buffer.At(sizeof(LVITEMW)));
    item.cchTextMax = kTextCapacity;
    buffer.Write(&item, sizeof item);
    Send(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), buffer.Param());
    return ReadRemoteText(buffer, sizeof(LVITEMW));
}

int ColumnCount(HWND list) {
    const auto header = reinterpret_cast<HWND>(Send(list, LVM_GETHEADER, 0, 0));
    if (!header) return 0;
    return static_cast<int>(Send(header, HDM_GETITEMCOUNT, 0, 0));
}

struct Search {
    DWORD processId;
    std::wstring_view title;
    std::wstring_view className;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<Search*>(param);
    if (ProcessOf(window) != search.processId) return TRUE;
    if (search.visibleOnly && !IsWindowVisible(window)) return TRUE;
    if (!search.className.empty() && ClassName(window) != search.className) return TRUE;
    if (!search.title.empty() || search.className.empty()) {
        wchar_t title[512]{};
        GetWindowTextW(window, title, 512);
        if (search.title != title) return TRUE;
    }
    search.found.push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevel(DWORD processId, std::wstring_view title, std::wstring_view className, bool visibleOnly) {
    Search search{processId, title, className, visibleOnly, {}};
    EnumWindows(&Collect, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

bool WaitFor(const std::function<bool()>& condition, Milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

std::wstring WindowsPathOf(std::string_view path) {
    std::wstring wide;
    if (!path.empty()) {
        const int size = static_cast<int>(path.size());
        wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, path.data(), size, nullptr, 0)));
        MultiByteToWideChar(CP_UTF8, 0, path.data(), size, wide.data(), static_cast<int>(wide.size()));
    }
    if (!wide.empty() && wide.front() == L'/') {
        for (auto& c : wide) {
            if (c == L'/') c = L'\\';
        }
        wide.insert(0, L"Z:");
    }
    return wide;
}

Process::Process(const std::wstring& program, const std::wstring& commandLine) {
    std::wstring line = L"\"" + program + L"\"";
    if (!commandLine.empty()) line += L" " + commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_)) {
        Fail("cannot start the program");
    }
    CloseHandle(info_.hThread);
    info_.hThread = nullptr;
}

Process::~Process() {
    if (Running()) Kill();
    CloseHandle(info_.hProcess);
}

bool Process::Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

bool Process::WaitForExit(Milliseconds timeout) {
    return WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

std::optional<DWORD> Process::ExitCode() const {
    DWORD code = 0;
    if (Running() || !GetExitCodeProcess(info_.hProcess, &code)) return std::nullopt;
    return code;
}

void Process::Kill() {
    TerminateProcess(info_.hProcess, 1);
    WaitForSingleObject(info_.hProcess, 5000);
}

std::vector<HWND> TopLevelWindows(DWORD processId, std::wstring_view title) {
    return TopLevel(processId, title, {}, false);
}

HWND FindTopLevelWindow(DWORD processId, std::wstring_view title) {
    const auto found = TopLevelWindows(processId, title);
    return found.empty() ? nullptr : found.front();
}

bool AnyVisibleWindow(DWORD processId, std::wstring_view title) {
    return !TopLevel(processId, title, {}, true).empty();
}

HWND WaitForTopLevelWindow(DWORD processId, std::wstring_view title, Milliseconds timeout) {
    HWND found = nullptr;
    WaitFor([&] { return (found = FindTopLevelWindow(processId, title)) != nullptr; }, timeout);
    return found;
}

HWND FindMessageBox(DWORD processId) {
    const auto found = TopLevel(processId, {}, L"#32770", true);
    return found.empty() ? nullptr : found.front();
}

HWND WaitForMessageBox(DWORD processId, Milliseconds timeout) {
    HWND found = nullptr;
    WaitFor([&] { return (found = FindMessageBox(processId)) != nullptr; }, timeout);
    return found;
}

std::wstring WindowText(HWND window) {
    const auto length = static_cast<std::size_t>(Send(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(length + 1, L'\0');
    // WM_GETTEXT is one of the messages the system copies between processes.
    const auto copied = static_cast<std::size_t>(
        Send(window, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(text.data())));
    text.resize(copied);
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256]{};
    GetClassNameW(window, name, 256);
    return name;
}

MessageBoxContent ReadMessageBox(HWND box) {
    MessageBoxContent content;
    content.title = WindowText(box);
    const HWND text = GetDlgItem(box, 0xFFFF);
    if (!text) Fail("the message box has no text control");
    content.text = WindowText(text);
    return content;
}

void PressButton(HWND box, int id) {
    const HWND button = GetDlgItem(box, id);
    if (!button) Fail("the message box has no button " + std::to_string(id));
    if (!PostMessageW(button, BM_CLICK, 0, 0)) Fail("cannot press button " + std::to_string(id));
}

void PressOk(HWND box) { PressButton(box, IDOK); }

HWND FindChild(HWND parent, std::wstring_view className, std::wstring_view text) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassName(child) == className && WindowText(child) == text) return child;
    }
    return nullptr;
}

HWND FindList(HWND window) { return FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr); }

std::vector<std::wstring> ListHeaders(HWND list) {
    std::vector<std::wstring> headers;
    const int columns = ColumnCount(list);
    RemoteBuffer buffer(list, sizeof(LVCOLUMNW) + kTextCapacity * sizeof(wchar_t));
    for (int c = 0; c < columns; ++c) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = reinterpret_cast<wchar_t*>(buffer.At(sizeof(LVCOLUMNW)));
        column.cchTextMax = kTextCapacity;
        buffer.Write(&column, sizeof column);
        if (!Send(list, LVM_GETCOLUMNW, static_cast<WPARAM>(c), buffer.Param())) Fail("cannot read a column");
        headers.push_back(ReadRemoteText(buffer, sizeof(LVCOLUMNW)));
    }
    return headers;
}

int ListRowCount(HWND list) { return static_cast<int>(Send(list, LVM_GETITEMCOUNT, 0, 0)); }

std::vector<std::vector<std::wstring>> ListRows(HWND list) {
    const int columns = ColumnCount(list);
    std::vector<std::vector<std::wstring>> rows;
    const int count = ListRowCount(list);
    for (int r = 0; r < count; ++r) {
        auto& row = rows.emplace_back();
        for (int c = 0; c < columns; ++c) row.push_back(ListText(list, r, c));
    }
    return rows;
}

std::optional<int> ListSelectedRow(HWND list) {
    const auto row = Send(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (row < 0) return std::nullopt;
    return static_cast<int>(row);
}

void SelectListRow(HWND list, int row) {
    RemoteBuffer buffer(list, sizeof(LVITEMW));
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    buffer.Write(&item, sizeof item);
    if (!Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), buffer.Param())) Fail("cannot select the row");
    Send(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

void DoubleClickListRow(HWND list, int row) {
    // The first click of a double-click selects the row.
    SelectListRow(list, row);
    RemoteBuffer buffer(list, sizeof(RECT));
    RECT rect{};
    rect.left = LVIR_LABEL;
    buffer.Write(&rect, sizeof rect);
    if (!Send(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), buffer.Param())) Fail("cannot locate the row");
    buffer.Read(&rect, sizeof rect);
    const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    if (!PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, point)) Fail("cannot double-click");
    PostMessageW(list, WM_LBUTTONUP, 0, point);
}

void ClickButton(HWND window, std::wstring_view text) {
    const HWND button = FindChild(window, WC_BUTTONW, text);
    if (!button) Fail("no button " + Utf8FromUtf16(text));
    if (!PostMessageW(button, BM_CLICK, 0, 0)) Fail("cannot click");
}

bool IsChecked(HWND window, std::wstring_view text) {
    const HWND button = FindChild(window, WC_BUTTONW, text);
    if (!button) Fail("no button " + Utf8FromUtf16(text));
    return Send(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::optional<std::uint8_t> LayeredAlpha(HWND window) {
    if ((GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED) == 0) return std::nullopt;
    BYTE alpha = 0;
    DWORD flags = 0;
    COLORREF key = 0;
    if (!GetLayeredWindowAttributes(window, &key, &alpha, &flags)) return std::nullopt;
    return (flags & LWA_ALPHA) ? alpha : std::uint8_t{255};
}

}  // namespace vantrel::e2e::driver
