#pragma once

#include <windows.h>

#include "app/CommandEnvironment.h"
#include "app/CommandLine.h"

// /install: every INF file given as a positional argument into the driver store, in order,
// then the network adapter of /net and the network service of /netservice. The first INF
// that fails ends the command; a failed adapter does not. Returns the result of the last
// stage that ran, so an adapter failure followed by an installed service is a success.
HRESULT RunInstall(const CommandLine& commandLine,
                   const CommandEnvironment& environment = SystemCommandEnvironment());
