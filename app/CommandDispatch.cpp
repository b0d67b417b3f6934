#include "app/CommandDispatch.h"

#include "app/InstallCommand.h"
#include "app/UninstallCommand.h"
#include "log/Logger.h"

namespace {

const LogComponent component(L"Pinewick");

} // namespace

HRESULT RunCommand(const CommandLine& commandLine, const CommandEnvironment& environment) {
    const bool install = commandLine.HasOption(L"install");
    const bool uninstall = commandLine.HasOption(L"uninstall");
    if (install && !uninstall)
        return RunInstall(commandLine, environment);
    if (uninstall && !install)
        return RunUninstall(commandLine, environment);

    if (install)
        LogMessage(g_logger, LogLevelFatal, component,
                   L"The command line options /install and /uninstall are mutually exclusive! "
                   L"Aborting!");
    else
        LogMessage(g_logger, LogLevelFatal, component,
                   L"The command line is missing /install or /uninstall option! Aborting!");
    return BadArgumentsResult;
}
