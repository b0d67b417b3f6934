#pragma once

#include <windows.h>

// The process's unhandled-exception filter. Writes one report per process, then ends the
// process at once (a shutdown or a service account) or returns EXCEPTION_CONTINUE_SEARCH
// for the system's fault handling.
LONG WINAPI TopLevelExceptionFilter(EXCEPTION_POINTERS* exceptionPointers);

// The crash.log line and the minidump. 0, or the failure of the minidump step; -1 when a
// report has been started before.
LONG GenerateExceptionReport(EXCEPTION_POINTERS* exceptionPointers);
