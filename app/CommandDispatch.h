#pragma once

#include <windows.h>

#include "app/CommandEnvironment.h"
#include "app/CommandLine.h"

// The HRESULT of a refused command line: ERROR_BAD_ARGUMENTS.
const HRESULT BadArgumentsResult = static_cast<HRESULT>(0x800700A0);

// Runs the command that exactly one of /install and /uninstall names (case included; their
// values are ignored), or logs why the command line is refused and returns
// BadArgumentsResult.
HRESULT RunCommand(const CommandLine& commandLine,
                   const CommandEnvironment& environment = SystemCommandEnvironment());
