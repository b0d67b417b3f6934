#include <windows.h>

#include <string>

#include "app/CommandDispatch.h"
#include "app/CommandLine.h"
#include "app/ProductFolders.h"
#include "crashguard/CrashGuard.h"
#include "log/LogConfiguration.h"
#include "log/Logger.h"

namespace {

const LogComponent component(L"Pinewick");

} // namespace

// The parameters are not used: GetCommandLineW keeps the program path, which the log shows.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    // Nothing can be logged before InitLogging, so a failed lookup only leaves "\log".
    InstallCrashGuard(GetLogFolder(GetProductDataFolder()));
    InitLogging();

    CommandLine commandLine;
    commandLine.Parse(GetCommandLineW(), true);
    const std::wstring text = commandLine.ToString();
    LogMessage(g_logger, LogLevelInfo, component, L"Pinewick is starting with command line '%s'.",
               text.c_str());

    const HRESULT result = RunCommand(commandLine);

    RemoveCrashGuard();
    LogMessage(g_logger, LogLevelInfo, component, L"%s is exiting with return code 0x%08lx.",
               text.c_str(), static_cast<unsigned long>(result));
    return result;
}
