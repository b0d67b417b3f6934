#pragma once

#include <windows.h>

#include <string>

#include "log/Logger.h"

// Reads SetupLog from the product's key and configures the process's logger with it.
void InitLogging();

// Writes the default settings (level info, no debugger output, and the file when a path is
// given) and opens the configured log file. A second call closes the file opened before.
void ConfigureLogger(Logger& logger, const wchar_t* logFilePath);

// Reads a REG_SZ value in the 32-bit registry view. `subKey` may be null (the root itself).
// Returns a Win32 error code; `out` changes only on success. A value of another type counts
// as absent: success, with `out` unchanged.
LONG ReadRegistryString(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                        std::wstring& out);
