#pragma once

#include <windows.h>

#include "log/Logger.h"

// Opens the log file for appending, prepares a file it created (byte-order mark,
// compression request) and writes every record retained so far. A file that is already
// open is closed first. Returns a Win32 error code; a failure is also logged under the
// "logger" tag.
DWORD OpenLogFile(Logger& logger, const wchar_t* path);
