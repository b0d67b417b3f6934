#pragma once

#include <string>

// The process-wide crash guard: from set-up to removal an exception that escapes every
// handler on any thread is written to crash.log and a minidump in logFolder.

// True when the unhandled-exception filter is registered. At most one call until
// RemoveCrashGuard.
bool InstallCrashGuard(std::wstring logFolder);

// True when the filter had been registered and is now removed. Safe without set-up.
bool RemoveCrashGuard();

// Registers the filter and makes SetUnhandledExceptionFilter inert; a step of set-up.
bool InstallExceptionFilter();
