#include <windows.h>

#include "app/UninstallCommand.h"

#include "driverstore/CatalogUninstaller.h"
#include "log/Logger.h"
#include "netcfg/NetCfgContext.h"

namespace {

const LogComponent component(L"Pinewick");
const wchar_t* const LockClient = L"orvel Pinewick";
const DWORD LockTimeoutMs = 30000;

unsigned long Code(HRESULT hr) {
    return static_cast<unsigned long>(hr);
}

} // namespace

HRESULT RunUninstall(const CommandLine& commandLine, const CommandEnvironment& environment) {
    HRESULT result = S_OK;
    // Closed on every way out, early returns included.
    NetCfgContext context(LockClient, LockTimeoutMs, environment.netCfgPlatform);

    if (commandLine.HasOption(L"net")) {
        const std::wstring& id = commandLine.GetOption(L"net");
        result = context.UninstallComponent(&GUID_DEVCLASS_NET, id);
        if (FAILED(result)) {
            LogMessage(g_logger, LogLevelFatal, component,
                       L"Unable to uninstall the network adapter '%s' with error 0x%08lx! "
                       L"Aborting!",
                       id.c_str(), Code(result));
            return result;
        }
        LogMessage(g_logger, LogLevelInfo, component,
                   L"The network adapter '%s' was successfully uninstalled.", id.c_str());
    }

    if (commandLine.HasOption(L"netservice")) {
        const std::wstring& id = commandLine.GetOption(L"netservice");
        result = context.UninstallComponent(&GUID_DEVCLASS_NETSERVICE, id);
        if (FAILED(result)) {
            LogMessage(g_logger, LogLevelFatal, component,
                       L"Unable to uninstall a network service '%s' with error 0x%08lx! "
                       L"Aborting!",
                       id.c_str(), Code(result));
            return result;
        }
        LogMessage(g_logger, LogLevelInfo, component,
                   L"A network service '%s' was successfully uninstalled.", id.c_str());
    }

    if (commandLine.HasOption(L"catalog")) {
        const std::wstring& catalog = commandLine.GetOption(L"catalog");
        result = UninstallByCatalog(catalog);
        // The removal logs its own failures.
        if (FAILED(result))
            return result;
        LogMessage(g_logger, LogLevelDebug, component,
                   L"All driver packages associated with the catalog file '%s' was successfully "
                   L"uninstalled.",
                   catalog.c_str());
    }

    context.Close();
    return result;
}
