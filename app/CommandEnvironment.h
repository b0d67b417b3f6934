#pragma once

#include <windows.h>

#include "netcfg/NetCfgContext.h"

typedef BOOL(WINAPI* GetVersionFunction)(LPOSVERSIONINFOW version);

// What the commands ask of the system besides their subsystems' own calls. The program
// always runs with the system's; tests hand in their own to answer as Windows versions and
// network-configuration objects that Wine does not have.
struct CommandEnvironment {
    GetVersionFunction getVersion;
    NetCfgPlatform netCfgPlatform;
};

// GetVersionExW and the system's COM calls.
const CommandEnvironment& SystemCommandEnvironment();
