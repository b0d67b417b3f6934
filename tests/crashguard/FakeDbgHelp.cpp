// A stand-in dbghelp.dll: says where it was loaded from, and writes no dumps.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(instance, path, MAX_PATH);
        SetEnvironmentVariableW(L"PINEWICK_FAKE_DBGHELP", path);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI
    MiniDumpWriteDump(HANDLE, DWORD, HANDLE, DWORD, void*, void*, void*) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}
