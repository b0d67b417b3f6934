#include "driverstore/InfInstaller.h"

#include <setupapi.h>

#include <cstdlib>
#include <cwchar>
#include <vector>

#include "common/HResult.h"
#include "common/UniqueResource.h"
#include "driverstore/SetupGlobalFlags.h"

namespace {

// The CRT's _MAX_DRIVE and _MAX_DIR less their terminators.
const size_t MaxDriveLength = 2;
const size_t MaxDirectoryLength = 255;

} // namespace

HRESULT GetSourceMediaLocation(const wchar_t* absolutePath, std::wstring& location) {
    // A buffer too short for _wsplitpath_s is an invalid-parameter event of the CRT, which
    // its default handler may turn into the end of the process. Split into buffers that
    // always fit and measure the parts instead.
    const size_t capacity = std::wcslen(absolutePath) + 1;
    std::vector<wchar_t> drive(capacity);
    std::vector<wchar_t> directory(capacity);
    if (_wsplitpath_s(absolutePath, drive.data(), capacity, directory.data(), capacity, nullptr, 0,
                      nullptr, 0) != 0)
        return E_INVALIDARG;
    const size_t driveLength = std::wcslen(drive.data());
    const size_t directoryLength = std::wcslen(directory.data());
    if (driveLength > MaxDriveLength || directoryLength > MaxDirectoryLength)
        return E_INVALIDARG;
    location.assign(drive.data(), driveLength);
    location.append(directory.data(), directoryLength);
    return S_OK;
}

HRESULT InstallInf(const std::wstring& infPath) {
    // With no buffer the runtime allocates one of the size the absolute path needs; an empty
    // path resolves to the current directory.
    const UniqueCrtString absolutePath(_wfullpath(nullptr, infPath.c_str(), 0));
    if (!absolutePath)
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);

    ClearSetupGlobalFlags();

    std::wstring location;
    const HRESULT split = GetSourceMediaLocation(absolutePath.Get(), location);
    if (FAILED(split))
        return split;

    if (!SetupCopyOEMInfW(absolutePath.Get(), location.c_str(), SPOST_PATH, 0, nullptr, 0, nullptr,
                          nullptr)) {
        const DWORD error = GetLastError();
        return HResultFromWin32(error);
    }
    return S_OK;
}
