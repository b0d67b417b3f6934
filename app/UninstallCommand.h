#pragma once

#include <windows.h>

#include "app/CommandEnvironment.h"
#include "app/CommandLine.h"

// /uninstall: the network adapter of /net, the network service of /netservice, then every
// driver package whose INF names the catalog file of /catalog, in this order whatever the
// order of the options. The first failure ends the command with its code.
HRESULT RunUninstall(const CommandLine& commandLine,
                     const CommandEnvironment& environment = SystemCommandEnvironment());
