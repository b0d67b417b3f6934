#pragma once

#include <windows.h>

// The points where tests put their own functions in place of the system's: a service
// account and a shutdown cannot be produced under test, and the runtime's assertion report
// would show a message box in a windowed process. The product never changes them.
struct CrashGuardSeams {
    int(WINAPI* getSystemMetrics)(int index);
    bool (*isServiceAccount)();
    void(__cdecl* reportAssertion)(const wchar_t* expression, const wchar_t* file, unsigned line);
};

extern CrashGuardSeams g_crashGuardSeams;
