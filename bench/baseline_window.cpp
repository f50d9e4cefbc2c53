// The start-up baseline: the least a Win32 program does to put a window on
// the screen. Built and linked like vantrel.exe, so that the difference in
// start-up time under the same Wine is Vantrel's own work.
#include <windows.h>

#include "PlainWindowClass.h"

namespace {

constexpr wchar_t kClassName[] = L"VantrelBaselineWindow";
constexpr wchar_t kTitle[] = L"Vantrel baseline";

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    if (!vantrel::bench::RegisterPlainWindowClass(instance, WindowProc, kClassName)) return 1;
    const HWND window = CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480,
                                        360, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
