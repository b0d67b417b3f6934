#include "netcfg/FilterLimit.h"

#include <cstdarg>
#include <vector>

#include "common/ErrorText.h"
#include "common/UniqueResource.h"
#include "log/Logger.h"

namespace {

const wchar_t* const KeyPath = L"SYSTEM\\CurrentControlSet\\Control\\Network";
const wchar_t* const ValueName = L"MaxNumFilters";

const LogComponent RegistryComponent(L"REGISTRY");

void LogRegistryError(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    LogMessageV(g_logger, LogLevelError, RegistryComponent, format, args);
    va_end(args);
}

LONG ReadValue(DWORD& value) {
    UniqueRegKey key;
    const LONG opened = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath, 0,
                                        KEY_QUERY_VALUE | KEY_WOW64_32KEY, key.Put());
    if (opened != ERROR_SUCCESS)
        return opened;

    std::vector<BYTE> data;
    DWORD size = 0;
    DWORD type = REG_NONE;
    LONG status = ERROR_SUCCESS;
    for (;;) {
        data.resize(size);
        status = ::RegQueryValueExW(key.Get(), ValueName, nullptr, &type,
                                    data.empty() ? nullptr : data.data(), &size);
        const bool sizeProbe = data.empty() && status == ERROR_SUCCESS && size != 0;
        // ERROR_MORE_DATA: the value grew between the probe and the read.
        if (!sizeProbe && status != ERROR_MORE_DATA)
            break;
    }
    if (status != ERROR_SUCCESS)
        return status;
    if (type != REG_DWORD || size != sizeof(DWORD))
        return ERROR_INVALID_DATA;
    value = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
            static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
    return ERROR_SUCCESS;
}

} // namespace

bool GetValueImpl(DWORD& value) {
    const LONG status = ReadValue(value);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        LogRegistryError(L"GetValueImpl: cannot get value '%s\\%s', code %s", KeyPath, ValueName,
                         ErrorText(static_cast<DWORD>(status)).c_str());
    return status == ERROR_SUCCESS;
}

bool SetValueImpl(DWORD value) {
    return SetValueImpl(value, ::RegCreateKeyExW);
}

bool SetValueImpl(DWORD value, RegCreateKeyFunction createKey) {
    UniqueRegKey key;
    LONG status = createKey(HKEY_LOCAL_MACHINE, KeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_SET_VALUE, nullptr, key.Put(), nullptr);
    if (status == ERROR_SUCCESS)
        status = ::RegSetValueExW(key.Get(), ValueName, 0, REG_DWORD,
                                  reinterpret_cast<const BYTE*>(&value), sizeof(value));
    if (status != ERROR_SUCCESS)
        LogRegistryError(L"SetValueImpl: cannot set value '%s' = '%d', code %s", ValueName,
                         static_cast<int>(value), ErrorText(static_cast<DWORD>(status)).c_str());
    return status == ERROR_SUCCESS;
}
