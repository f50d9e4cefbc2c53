// The entry point: hands control to Main, then lives in the event loop.
#include <windows.h>

#include "app/MdlMain.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return vantrel::app::Run(); }
