#include "driver/Driver.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "SimcadProtocol.h"
#include "win/Utf16.h"

namespace vantrel::driver {
namespace {

// A window slower to answer is hung: a pass over a large sheet, or a call to a vanished host, takes seconds.
constexpr UINT kAnswerMs = 15000;

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + " (error " + std::to_string(GetLastError()) + ")");
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kAnswerMs, &result)) Fail("no answer");
    return static_cast<LRESULT>(result);
}

// A list message about `item` (LVITEMW, RECT), copied into the list's process and back.
template <class Item>
void SendItem(HWND list, UINT message, WPARAM wParam, Item& item) {
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    const win::UniqueHandle process(
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
    void* remote = VirtualAllocEx(process.get(), nullptr, sizeof(Item), MEM_COMMIT, PAGE_READWRITE);
    DWORD_PTR result = 0;
    const bool done =
        remote && WriteProcessMemory(process.get(), remote, &item, sizeof(Item), nullptr) &&
        SendMessageTimeoutW(list, message, wParam, reinterpret_cast<LPARAM>(remote), SMTO_NORMAL, kAnswerMs, &result) &&
        ReadProcessMemory(process.get(), remote, &item, sizeof(Item), nullptr);
    if (remote) VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
    if (!done) Fail("list message " + std::to_string(message) + " failed");
}

// The journal of an earlier run is removed before simcad starts writing it.
std::wstring FreshJournal(const std::wstring& journal) {
    DeleteFileW(journal.c_str());
    return journal;
}

}  // namespace

bool WaitFor(const std::function<bool()>& condition, Milliseconds timeout, Milliseconds poll) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(poll);
    }
    return true;
}

std::wstring WindowsPath(std::string_view path) {
    std::wstring wide = win::Utf16FromUtf8(path);
    if (!wide.starts_with(L'/')) return wide;
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return L"Z:" + wide;
}

Process::Process(const std::wstring& program, const std::wstring& arguments) {
    static const HANDLE job = [] {
        const HANDLE created = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        return created;
    }();
    std::wstring line = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // Wine now and then refuses a start (ERROR_INTERNAL_ERROR) while the last program still goes away.
    for (int attempt = 1; !CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                          nullptr, nullptr, &startup, &info_);
         ++attempt) {
        if (attempt == 3) Fail("cannot start " + win::Utf8FromUtf16(program));
        Sleep(500);
    }
    AssignProcessToJobObject(job, info_.hProcess);
    ResumeThread(info_.hThread);
    CloseHandle(info_.hThread);
}

Process::~Process() {
    (void)Kill();
    CloseHandle(info_.hProcess);
}

bool Process::Kill() const {
    if (!Running()) return true;
    return TerminateProcess(info_.hProcess, 99) && WaitForExit(10s);
}

HWND TopLevel(DWORD processId, const wchar_t* title, const wchar_t* className, bool visibleOnly) {
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, className, title)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && (!visibleOnly || IsWindowVisible(window))) return window;
    }
    return nullptr;
}

std::string Text(HWND window) {
    wchar_t text[1024]{};  // asked of the window itself, as for a control of another process
    Send(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return win::Utf8FromUtf16(text);
}

std::string BoxText(HWND box) { return Text(box) + ": " + Text(GetDlgItem(box, 0xFFFF)); }

void Click(HWND button) {
    if (!button || !PostMessageW(button, BM_CLICK, 0, 0)) Fail("cannot click");
}

void MouseClick(HWND control) {
    RECT client{};
    if (!control || !GetClientRect(control, &client)) Fail("cannot click");
    const LPARAM centre = MAKELPARAM((client.left + client.right) / 2, (client.top + client.bottom) / 2);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, centre);
    PostMessageW(control, WM_LBUTTONUP, 0, centre);
}

void PressKey(HWND target, WORD key) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

bool IsChecked(HWND button) { return Send(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

HWND Focus(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

int Alpha(HWND window) {
    BYTE alpha = 0;
    DWORD flags = 0;
    if ((GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED) == 0) return 255;
    return GetLayeredWindowAttributes(window, nullptr, &alpha, &flags) ? (flags & LWA_ALPHA ? alpha : 255) : -1;
}

bool BringToFront(HWND window) {
    if (window == nullptr) return false;
    const bool activated = SetForegroundWindow(window) != FALSE;
    const bool raised = SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE) != FALSE;
    return activated || raised;
}

bool IsAbove(HWND upper, HWND lower) {
    for (HWND window = GetTopWindow(nullptr); window != nullptr; window = GetWindow(window, GW_HWNDNEXT)) {
        if (window == upper) return true;
        if (window == lower) return false;
    }
    return false;
}

int ListRowCount(HWND list) { return static_cast<int>(Send(list, LVM_GETITEMCOUNT, 0, 0)); }

void SelectRow(HWND list, int row) {
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendItem(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), item);
}

void DoubleClickRow(HWND list, int row) {
    SelectRow(list, row);  // as the first click of a double-click does
    RECT rect{LVIR_LABEL, 0, 0, 0};
    SendItem(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), rect);
    const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    PostMessageW(list, WM_LBUTTONUP, 0, point);
}

Simcad::Simcad(const std::wstring& exe, const std::wstring& scenario, const std::wstring& journal, unsigned release)
    : journal_(FreshJournal(journal)),
      process_(exe, L"\"" + scenario + L"\" --journal \"" + journal + L"\"" +
                        (release == 0 ? std::wstring() : L" --release " + std::to_wstring(release))) {
    const auto readyOrGone = [&] {
        Calls();
        return ready_ || !process_.Running();
    };
    WaitFor(readyOrGone, 60s);
}

Simcad::~Simcad() {
    // A hung simcad takes no command; the longest hang a test asks for is well under a minute.
    (void)WaitFor([&] { return !Hanging() || !process_.Running(); }, 60s, 100ms);
    if (process_.Running() && Send("quit")) (void)process_.WaitForExit(10s);
}

bool Simcad::Send(std::string_view command) {
    COPYDATASTRUCT data{simcad::kCopyDataCommand, static_cast<DWORD>(command.size()),
                        const_cast<char*>(command.data())};
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(Window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, kAnswerMs,
                               &answer) &&
           answer == TRUE;
}

HWND Simcad::Window() const { return TopLevel(process_.Id(), nullptr, simcad::kWindowClass); }

const std::vector<Simcad::Call>& Simcad::Calls() {
    if (!win::Holds(file_)) {  // shared: simcad goes on writing it
        file_.reset(CreateFileW(journal_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    }
    char buffer[65536];
    DWORD count = 0;
    while (win::Holds(file_) && ReadFile(file_.get(), buffer, sizeof buffer, &count, nullptr) && count > 0) {
        pending_.append(buffer, count);
    }
    const double now = NowMs();
    // A line still being written has no newline yet: it waits for the next read.
    for (std::size_t end = 0; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1)) {
        const std::string line = pending_.substr(0, end);
        ready_ = ready_ || line == simcad::kReadyLine;
        // "<sequence> <call>"; the ready line and commands carry no sequence.
        const std::size_t space = line.find(' ');
        if (space > 0 && space != std::string::npos && line.find_first_not_of("0123456789") == space) {
            calls_.push_back({line.substr(space + 1), now});
        } else {
            notes_.push_back({line, now});
        }
    }
    return calls_;
}

std::size_t Simcad::Count(std::string_view fragment, std::size_t from) {
    const auto& calls = Calls();
    std::size_t count = 0;
    for (std::size_t i = from; i < calls.size(); ++i) count += calls[i].text.find(fragment) != std::string::npos;
    return count;
}

std::string Simcad::CallsText() {
    std::string text;
    for (const Call& call : Calls()) text += call.text + "\n";
    return text;
}

bool Simcad::Hanging() {
    Calls();
    bool hanging = false;
    for (const Call& note : notes_) {
        if (note.text.starts_with("-- hang ") && !note.text.ends_with("(not understood)")) hanging = true;
        if (note.text == simcad::kHangOverLine) hanging = false;
    }
    return hanging;
}

}  // namespace vantrel::driver
