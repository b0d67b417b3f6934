// The yardstick for pinewick.exe's start-up: a GUI program, linked like it, that only
// returns 0.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    return 0;
}
