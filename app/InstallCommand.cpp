#include <windows.h>

#include "app/InstallCommand.h"

#include "driverstore/InfInstaller.h"
#include "log/Logger.h"
#include "netcfg/FilterLimit.h"
#include "netcfg/NetCfgContext.h"

namespace {

const LogComponent component(L"Pinewick");
const wchar_t* const LockClient = L"orvel Pinewick";
const DWORD LockTimeoutMs = 30000;
// What the system allows when MaxNumFilters is missing.
const DWORD DefaultMaxNumFilters = 8;

unsigned long Code(HRESULT hr) {
    return static_cast<unsigned long>(hr);
}

// Only Windows 6.0 and 6.1 take their filter limit from the registry.
bool CanRaiseFilterLimit(GetVersionFunction getVersion) {
    OSVERSIONINFOW version = {};
    static_assert(sizeof(version) == 276, "OSVERSIONINFOW, not the EX record");
    version.dwOSVersionInfoSize = sizeof(version);
    if (!getVersion(&version))
        return false;
    return version.dwMajorVersion == 6 && version.dwMinorVersion < 2;
}

void RaiseFilterLimit() {
    DWORD limit = DefaultMaxNumFilters;
    // Both report their own failures; an unreadable value leaves the default, and the
    // retry is worth making even when the write fails.
    GetValueImpl(limit);
    // One more than the largest number would wrap round to a limit of 0.
    if (limit == MAXDWORD)
        return;
    SetValueImpl(limit + 1);
}

HRESULT InstallService(NetCfgContext& context, const std::wstring& id,
                       GetVersionFunction getVersion) {
    HRESULT hr = context.InstallComponent(&GUID_DEVCLASS_NETSERVICE, id);
    if (hr == NETCFG_E_MAX_FILTER_LIMIT && CanRaiseFilterLimit(getVersion)) {
        RaiseFilterLimit();
        hr = context.InstallComponent(&GUID_DEVCLASS_NETSERVICE, id);
    }
    return hr;
}

} // namespace

HRESULT RunInstall(const CommandLine& commandLine, const CommandEnvironment& environment) {
    HRESULT result = S_OK;
    for (const std::wstring& infPath : commandLine.GetArguments()) {
        result = InstallInf(infPath);
        if (FAILED(result)) {
            LogMessage(g_logger, LogLevelFatal, component,
                       L"Unable to install the INF file '%s' with error 0x%08lx! Aborting!",
                       infPath.c_str(), Code(result));
            return result;
        }
        LogMessage(g_logger, LogLevelDebug, component,
                   L"The INF file '%s' was successfully installed.", infPath.c_str());
    }

    NetCfgContext context(LockClient, LockTimeoutMs, environment.netCfgPlatform);

    if (commandLine.HasOption(L"net")) {
        const std::wstring& id = commandLine.GetOption(L"net");
        result = context.InstallComponent(&GUID_DEVCLASS_NET, id);
        if (FAILED(result))
            LogMessage(g_logger, LogLevelError, component,
                       L"Unable to install the network adapter '%s' with error 0x%08lx!",
                       id.c_str(), Code(result));
        else
            LogMessage(g_logger, LogLevelInfo, component,
                       L"The network adapter '%s' was successfully installed.", id.c_str());
    }

    if (commandLine.HasOption(L"netservice")) {
        const std::wstring& id = commandLine.GetOption(L"netservice");
        result = InstallService(context, id, environment.getVersion);
        if (FAILED(result))
            LogMessage(g_logger, LogLevelError, component,
                       L"Unable to install the network service '%s' with error 0x%08lx!",
                       id.c_str(), Code(result));
        else
            LogMessage(g_logger, LogLevelInfo, component,
                       L"The network service '%s' was successfully installed.", id.c_str());
    }

    context.Close();
    return result;
}
