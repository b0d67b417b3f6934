#include "app/ProductFolders.h"

#include <shlobj.h>

namespace {

const size_t LookupBufferLength = 520;
const size_t MaxFolderLength = 260;

} // namespace

std::wstring GetProductDataFolder(SpecialFolderPathFunction getSpecialFolderPath) {
    wchar_t buffer[LookupBufferLength] = {};
    // Only TRUE itself counts: any other non-zero value is no promise that the buffer holds
    // a path.
    if (getSpecialFolderPath(nullptr, buffer, CSIDL_COMMON_APPDATA, FALSE) != TRUE)
        return std::wstring();
    buffer[LookupBufferLength - 1] = L'\0';
    std::wstring folder = std::wstring(buffer) + L"\\ORVEL Software\\Orvel";
    if (folder.size() > MaxFolderLength)
        folder.resize(MaxFolderLength);
    return folder;
}

std::wstring GetProductDataFolder() {
    return GetProductDataFolder(SHGetSpecialFolderPathW);
}

std::wstring GetLogFolder(const std::wstring& productDataFolder) {
    return productDataFolder + L"\\log";
}
