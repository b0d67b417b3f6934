// The floor under pinewick.exe's start-up: a GUI program that only looks up the common
// application-data folder, as pinewick.exe does first on every run. Under Wine, loading
// shell32 for that one call brings user32, gdi32 and win32u with it.
#include <windows.h>

#include <shlobj.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    wchar_t folder[520] = {};
    return SHGetSpecialFolderPathW(nullptr, folder, CSIDL_COMMON_APPDATA, FALSE) == TRUE ? 0 : 1;
}
