// The window class the start-up floor and the empty window share: a plain
// top-level window with the system's arrow and dialog background.
#pragma once

#include <windows.h>

namespace vantrel::bench {

inline bool RegisterPlainWindowClass(HINSTANCE instance, WNDPROC procedure, const wchar_t* name) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = name;
    return RegisterClassExW(&windowClass) != 0;
}

}  // namespace vantrel::bench
