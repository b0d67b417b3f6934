#include "crashguard/DbgHelpLoader.h"

#include "common/UniqueResource.h"

#include <shlwapi.h>

namespace {

constexpr size_t kValueCharacters = 260;
constexpr wchar_t kProductKey[] = L"Software\\Orvel Software\\Orvel";
constexpr wchar_t kDbgHelpName[] = L"dbghelp.dll";

// LOAD_LIBRARY_SEARCH_SYSTEM32 is understood where AddDllDirectory exists (Windows 8, or 7
// and Vista with KB2533623); elsewhere LoadLibraryExW refuses it.
bool CanSearchSystem32Only() {
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    return kernel32 != nullptr && GetProcAddress(kernel32, "AddDllDirectory") != nullptr;
}

} // namespace

DWORD ReadProductString(std::wstring valueName, std::wstring& out) {
    UniqueRegKey key;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0,
                                   KEY_QUERY_VALUE | KEY_WOW64_32KEY, key.Put());
    if (status != ERROR_SUCCESS)
        return static_cast<DWORD>(status);

    wchar_t buffer[kValueCharacters] = {};
    DWORD type = 0;
    DWORD size = sizeof(buffer);
    status = RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(buffer), &size);
    if (status != ERROR_SUCCESS)
        return static_cast<DWORD>(status);
    if (type != REG_SZ)
        return ERROR_FILE_NOT_FOUND;
    // The value may be stored without its terminating NUL; then a full buffer has no end.
    if (size == sizeof(buffer) && buffer[kValueCharacters - 1] != L'\0') {
        out.clear();
        return ERROR_BUFFER_OVERFLOW;
    }
    out = buffer;
    return ERROR_SUCCESS;
}

HMODULE LoadDbgHelpFromProgramFolder() {
    std::wstring path;
    if (ReadProductString(L"ProgramFolder", path) != ERROR_SUCCESS)
        return nullptr;
    if (path.empty() || PathIsRelativeW(path.c_str()))
        return nullptr;
    if (path.back() != L'\\')
        path += L'\\';
    path += kDbgHelpName;
    // dbghelp.dll's own imports are looked for in its folder first.
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadDbgHelpFromSystemDirectory() {
    if (CanSearchSystem32Only())
        return LoadLibraryExW(kDbgHelpName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);

    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    std::wstring path(folder, length);
    if (path.back() != L'\\')
        path += L'\\';
    path += kDbgHelpName;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadDbgHelp() {
    if (const HMODULE module = LoadDbgHelpFromProgramFolder())
        return module;
    return LoadDbgHelpFromSystemDirectory();
}
