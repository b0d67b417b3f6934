#pragma once

#include <windows.h>

// Looks up ntdll's LdrLockLoaderLock and LdrUnlockLoaderLock; true when both were found.
bool FindLoaderLockFunctions();

// Tries the loader lock without waiting and gives it back at once. busy is set when another
// thread holds it. 0, or 50 without the functions, 87 without busy, 31 on a failed call.
DWORD ProbeLoaderLock(bool* busy);
