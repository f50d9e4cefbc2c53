// The entry point: the program starts and lives in its event loop.
#include <windows.h>

#include "app/Program.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return vantrel::app::Run(); }
