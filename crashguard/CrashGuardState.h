#pragma once

#include "common/UniqueResource.h"

#include <windows.h>
#include <dbghelp.h>

#include <string>

using MiniDumpWriteDumpFunction = BOOL(WINAPI*)(HANDLE process, DWORD processId, HANDLE file,
                                                MINIDUMP_TYPE dumpType,
                                                PMINIDUMP_EXCEPTION_INFORMATION exceptionParam,
                                                PMINIDUMP_USER_STREAM_INFORMATION userStreamParam,
                                                PMINIDUMP_CALLBACK_INFORMATION callbackParam);
using LdrLockLoaderLockFunction = LONG(NTAPI*)(ULONG flags, ULONG* disposition, ULONG_PTR* cookie);
using LdrUnlockLoaderLockFunction = LONG(NTAPI*)(ULONG flags, ULONG_PTR cookie);

constexpr size_t kPrologueSize = 8;

// Written by set-up and removal on the entry's thread only; the crash path reads it, and
// owns the flags at the end.
struct CrashGuardState {
    std::wstring logFolder;
    std::wstring crashLogPath;
    UniqueModule dbgHelpModule;
    MiniDumpWriteDumpFunction miniDumpWriteDump;
    CRITICAL_SECTION dumpLock;
    bool initialized;
    bool installed;
    UINT previousErrorMode;
    LPTOP_LEVEL_EXCEPTION_FILTER previousFilter;
    unsigned char savedPrologue[kPrologueSize];
    LdrLockLoaderLockFunction ldrLockLoaderLock;
    LdrUnlockLoaderLockFunction ldrUnlockLoaderLock;
    bool loaderLockFunctionsFound;

    // Claimed with one interlocked step each, so that one report is written per process.
    volatile LONG filterEntered;
    volatile LONG reportStarted;
    // Lets a second faulting thread wait for the first thread's report.
    volatile LONG reportFinished;
    volatile DWORD reportThreadId;
};

// The one state of the process, zero and empty at start.
extern CrashGuardState g_crashGuard;
