#include "log/LogConfiguration.h"

#include <cwchar>
#include <vector>

#include "common/UniqueResource.h"
#include "log/LogFile.h"

namespace {

// Written by the product's 32-bit setup; the 64-bit build reads the same view.
const wchar_t kProductKey[] = L"Software\\ORVEL Software\\Orvel";
const wchar_t kSetupLogValue[] = L"SetupLog";

} // namespace

LONG ReadRegistryString(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                        std::wstring& out) {
    UniqueRegKey opened;
    HKEY key = root;
    if (subKey != nullptr) {
        const LONG status =
            ::RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, opened.Put());
        if (status != ERROR_SUCCESS)
            return status;
        key = opened.Get();
    }

    DWORD type = 0;
    DWORD size = 0;
    LONG status = ::RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return status;
    if (type != REG_SZ)
        return ERROR_SUCCESS;

    // Two spare bytes keep the text terminated even when the stored value is not.
    DWORD bufferSize = size + sizeof(wchar_t);
    std::vector<wchar_t> buffer((bufferSize + 1) / sizeof(wchar_t), L'\0');
    status = ::RegQueryValueExW(key, valueName, nullptr, nullptr,
                                reinterpret_cast<BYTE*>(buffer.data()), &bufferSize);
    if (status != ERROR_SUCCESS)
        return status;

    out.assign(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
    return ERROR_SUCCESS;
}

void ConfigureLogger(Logger& logger, const wchar_t* logFilePath) {
    try {
        boost::recursive_mutex::scoped_lock guard(logger.lock);
        LogSection& defaults = logger.settings[L"default"];
        if (logFilePath != nullptr)
            defaults[L"file"] = logFilePath;
        defaults[L"debugger"] = L"false";
        defaults[L"level"] = L"info";

        const auto file = defaults.find(L"file");
        if (file != defaults.end())
            OpenLogFile(logger, file->second.c_str());
    } catch (...) {
        // Configuration never fails toward its caller; what was set so far stays.
    }
}

void InitLogging() {
    std::wstring path;
    if (ReadRegistryString(HKEY_LOCAL_MACHINE, kProductKey, kSetupLogValue, path) != ERROR_SUCCESS)
        path.clear();
    ConfigureLogger(g_logger, path.empty() ? nullptr : path.c_str());
}
