#include "driverstore/CatalogUninstaller.h"

#include <setupapi.h>

#include <cwchar>

#include "common/HResult.h"
#include "common/UniqueResource.h"
#include "log/Logger.h"

SetInfFileAttributesFunction g_setInfFileAttributes = SetFileAttributesW;
UninstallOemInfFunction g_uninstallOemInf = SetupUninstallOEMInfW;

namespace {

const LogComponent component(L"Pinewick");

// Whole values only: a name with a folder, or one that carries a NUL the C string would
// hide, matches nothing.
bool NamesCatalog(const wchar_t* value, const std::wstring& catalogFile) {
    return std::wcslen(value) == catalogFile.size() && _wcsicmp(value, catalogFile.c_str()) == 0;
}

} // namespace

HRESULT UninstallByCatalog(const std::wstring& catalogFile) {
    if (catalogFile.empty()) {
        LogMessage(g_logger, LogLevelError, component,
                   L"Unable to uninstall the driver packages of an empty catalog file name with "
                   L"error 0x%08lx!",
                   static_cast<unsigned long>(E_INVALIDARG));
        return E_INVALIDARG;
    }

    wchar_t windowsDirectory[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(windowsDirectory, MAX_PATH);
    if (length == 0 || length > MAX_PATH) {
        // A buffer that is too small is reported by the length alone, with no last error.
        const DWORD error = length == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER;
        LogMessage(g_logger, LogLevelError, component,
                   L"Unable to retrieve the path to Windows directory with error 0x%08lx!", error);
        return HResultFromWin32(error);
    }
    const std::wstring infFolder = std::wstring(windowsDirectory, length) + L"\\Inf\\";

    WIN32_FIND_DATAW found;
    const UniqueFindHandle search(FindFirstFileW((infFolder + L"*.inf").c_str(), &found));
    if (!search) {
        const DWORD error = GetLastError();
        LogMessage(g_logger, LogLevelError, component,
                   L"Unable to enumerate \\Windows\\Inf directory with error 0x%08lx!", error);
        return HResultFromWin32(error);
    }

    do {
        const std::wstring infPath = infFolder + found.cFileName;
        wchar_t value[MAX_PATH] = {};
        GetPrivateProfileStringW(L"Version", L"CatalogFile", L"", value, MAX_PATH, infPath.c_str());
        if (!NamesCatalog(value, catalogFile))
            continue;

        // A read-only, hidden or system INF would stop the removal of its package.
        if (!g_setInfFileAttributes(infPath.c_str(), FILE_ATTRIBUTE_NORMAL)) {
            const DWORD error = GetLastError();
            LogMessage(g_logger, LogLevelNotice, component,
                       L"Unable to reset attributes on '%s' with error 0x%08lx!", found.cFileName,
                       error);
        }
        // Flags 0: a package that is still in use stays.
        if (!g_uninstallOemInf(found.cFileName, 0, nullptr)) {
            const DWORD error = GetLastError();
            LogMessage(g_logger, LogLevelWarning, component,
                       L"Unable to uninstall the INF file '%s' assocaited with the catalog file "
                       L"'%s' with error 0x%08lx!",
                       found.cFileName, catalogFile.c_str(), error);
        }
    } while (FindNextFileW(search.Get(), &found));
    return S_OK;
}
