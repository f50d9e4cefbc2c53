// simcad: the simulated CAD host served over COM automation, for the
// end-to-end tests and the demo.
//   simcad.exe SCENARIO_FILE [--journal FILE] [--release N]
// Registers its application object in the running-object table under the CLSID
// that "AutoCAD.Application" maps to, or with --release N under the CLSID of
// "AutoCAD.Application.N", a release running beside the current one; journals
// every call it receives, and takes control commands by WM_COPYDATA (see
// SimcadProtocol.h).
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Automation.h"
#include "BusyHost.h"
#include "Control.h"
#include "Journal.h"
#include "Registration.h"
#include "SimcadProtocol.h"
#include "base/Hex.h"
#include "win/ComApartment.h"
#include "win/Utf16.h"

namespace {

using namespace vantrel::simcad;
using vantrel::sim::SimulatedHost;

// Exit codes.
constexpr int kUsage = 2;
constexpr int kBadScenario = 3;
constexpr int kRefused = 4;
constexpr int kNotRegistered = 5;

// A new Wine prefix starts its RPC service lazily; registration can take seconds.
constexpr auto kRegisterDeadline = std::chrono::seconds(30);
constexpr int kListId = 1;
constexpr UINT_PTR kShowJournalTimer = 1;

struct Window {
    Server* server = nullptr;
    HWND list = nullptr;
    BusyHost* busy = nullptr;  // once the host serves
};

void Complain(const std::wstring& text) {
    std::fwprintf(stderr, L"simcad: %ls\n", text.c_str());
    std::fflush(stderr);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_CREATE:
            state->list =
                CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", nullptr,
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0, 0, 0,
                                window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)), nullptr, nullptr);
            SendMessageW(state->list, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
            SendMessageW(state->list, LB_SETHORIZONTALEXTENT, 1200, 0);
            return 0;
        case WM_SIZE:
            if (state != nullptr && state->list != nullptr) {
                MoveWindow(state->list, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            }
            return 0;
        case WM_COPYDATA: {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            if (state == nullptr || state->server == nullptr || state->busy == nullptr || data == nullptr ||
                data->dwData != kCopyDataCommand || data->lpData == nullptr) {
                return FALSE;
            }
            const std::string text(static_cast<const char*>(data->lpData), data->cbData);
            const std::optional<Command> command = ParseCommand(text);
            state->server->journal.Line("-- " + text + (command ? "" : " (not understood)"));
            if (!command) return FALSE;
            return Apply(*command, *state->server->host, state->server->journal, *state->busy) ? TRUE : FALSE;
        }
        case BusyHost::kHangMessage:
            if (state != nullptr && state->busy != nullptr) state->busy->Hang();
            return 0;
        case WM_TIMER:
            if (wParam == kShowJournalTimer && state != nullptr && state->server != nullptr) {
                state->server->journal.ShowWaitingLines();
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateJournalWindow(Window& state, unsigned release) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);
    // Placed away from where Vantrel opens, so both are seen side by side; a
    // release a little lower, so that one beside the current one shows too.
    const std::wstring title =
        release == 0 ? std::wstring(kWindowTitle) : std::wstring(kWindowTitle) + L" (" + ReleaseProgId(release) + L")";
    const int offset = release == 0 ? 0 : 60;
    return CreateWindowExW(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 620 + offset, 40 + offset,
                           560, 420, nullptr, nullptr, windowClass.hInstance, &state);
}

// Waits for the next message up to `timeout`, handling everything queued.
// Returns false once WM_QUIT came.
bool Pump(DWORD timeout) {
    MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return false;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

std::optional<std::string> ReadFile(const std::wstring& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The N of "--release N", or 0 when it is not a number from 1 to kLastRelease.
unsigned ReleaseNumber(const std::wstring& text) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of(L"0123456789") != std::wstring::npos) return 0;
    const auto number = static_cast<unsigned>(std::wcstoul(text.c_str(), nullptr, 10));
    return number <= kLastRelease ? number : 0;
}

int Run(const std::vector<std::wstring>& arguments) {
    std::wstring scenarioPath;
    std::wstring journalPath;
    unsigned release = 0;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == L"--journal" && i + 1 < arguments.size()) {
            journalPath = arguments[++i];
        } else if (arguments[i] == L"--release" && i + 1 < arguments.size()) {
            release = ReleaseNumber(arguments[++i]);
            if (release == 0) {
                scenarioPath.clear();
                break;
            }
        } else if (scenarioPath.empty()) {
            scenarioPath = arguments[i];
        } else {
            scenarioPath.clear();
            break;
        }
    }
    if (scenarioPath.empty()) {
        Complain(L"usage: simcad.exe SCENARIO_FILE [--journal FILE] [--release N (1 to 9999)]");
        return kUsage;
    }
    const std::optional<std::string> scenario = ReadFile(scenarioPath);
    if (!scenario) {
        Complain(L"cannot read the scenario " + scenarioPath);
        return kBadScenario;
    }
    std::shared_ptr<SimulatedHost> host;
    try {
        host = SimulatedHost::FromScenario(*scenario);
    } catch (const std::exception& error) {
        Complain(scenarioPath + L": " + vantrel::win::Utf16FromUtf8(error.what()));
        return kBadScenario;
    }

    Journal journal(journalPath);
    if (!journalPath.empty() && !journal.IsOpen()) {
        Complain(L"cannot write the journal " + journalPath);
        return kUsage;
    }

    std::wstring refusal;
    const std::wstring progId = release == 0 ? std::wstring(kProgId) : ReleaseProgId(release);
    const std::wstring clsidText = release == 0 ? std::wstring(kClsidText) : ReleaseClsidText(release);
    std::optional<ProgIdRegistration> registration = ProgIdRegistration::Claim(progId, clsidText, refusal);
    if (!registration) {
        Complain(refusal);
        journal.Line("refused: " + vantrel::win::Utf8FromUtf16(refusal));
        return kRefused;
    }

    Server server{host, journal};
    Window state{&server, nullptr};
    const HWND window = CreateJournalWindow(state, release);
    if (window == nullptr) {
        Complain(L"cannot create the window");
        return kNotRegistered;
    }
    server.mainWindow = window;
    journal.ShowIn(state.list, kShowJournalTimer);

    CLSID clsid{};
    CLSIDFromString(clsidText.c_str(), &clsid);
    Microsoft::WRL::ComPtr<IDispatch> application = CreateApplicationObject(server);
    DWORD cookie = 0;
    bool registered = false;
    // A scenario whose host is not running serves nothing.
    if (host->running) {
        const auto deadline = std::chrono::steady_clock::now() + kRegisterDeadline;
        HRESULT result = E_FAIL;
        while (FAILED(result = RegisterActiveObject(application.Get(), clsid, ACTIVEOBJECT_STRONG, &cookie))) {
            if (std::chrono::steady_clock::now() >= deadline || !Pump(200)) break;
        }
        if (FAILED(result)) {
            Complain(L"RegisterActiveObject failed: " + vantrel::win::Utf16FromUtf8(vantrel::HexStatus(result)));
            DestroyWindow(window);
            return kNotRegistered;
        }
        registered = true;
    }
    // After the registration: the filter is for the calls simcad serves.
    std::optional<BusyHost> busy;
    try {
        busy.emplace(window, journal);
    } catch (const std::exception& error) {
        Complain(vantrel::win::Utf16FromUtf8(error.what()));
        if (registered) RevokeActiveObject(cookie, nullptr);
        DestroyWindow(window);
        return kNotRegistered;
    }
    state.busy = &*busy;
    journal.Line(kReadyLine);

    while (Pump(INFINITE)) {
    }
    state.busy = nullptr;

    if (registered) RevokeActiveObject(cookie, nullptr);
    CoDisconnectObject(application.Get(), 0);
    return 0;
}

}  // namespace

int main() {
    int count = 0;
    LPWSTR* raw = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> arguments;
    for (int i = 0; i < count; ++i) arguments.emplace_back(raw[i]);
    LocalFree(raw);

    const vantrel::win::ComApartment apartment;
    if (!apartment.Entered()) {
        Complain(L"COM could not be initialised");
        return kNotRegistered;
    }
    return Run(arguments);
}
