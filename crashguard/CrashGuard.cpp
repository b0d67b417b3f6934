#include "crashguard/CrashGuard.h"

#include "crashguard/CrashAssert.h"
#include "crashguard/CrashGuardState.h"
#include "crashguard/CrashLog.h"
#include "crashguard/CrashReport.h"
#include "crashguard/DbgHelpLoader.h"
#include "crashguard/FilterPatch.h"
#include "crashguard/LoaderLock.h"

#include <windows.h>

#include <utility>

namespace {

bool IsWindowsXpOrLater() {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExW(&version))
        return false;
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return false;
    return version.dwMajorVersion > 5 ||
           (version.dwMajorVersion == 5 && version.dwMinorVersion >= 1);
}

} // namespace

bool InstallCrashGuard(std::wstring logFolder) {
    const bool initialized = g_crashGuard.initialized;
    if (!CRASHGUARD_ASSERT(!initialized))
        return false;

    g_crashGuard.logFolder = std::move(logFolder);
    g_crashGuard.dbgHelpModule.Reset(LoadDbgHelp());
    if (g_crashGuard.dbgHelpModule) {
        g_crashGuard.miniDumpWriteDump =
            reinterpret_cast<MiniDumpWriteDumpFunction>(reinterpret_cast<void*>(
                GetProcAddress(g_crashGuard.dbgHelpModule.Get(), "MiniDumpWriteDump")));
    }
    // Every path the crash path needs is formed now: a crash must not allocate for it.
    g_crashGuard.crashLogPath = FormCrashLogPath(g_crashGuard.logFolder);
    InitializeCriticalSection(&g_crashGuard.dumpLock);
    FindLoaderLockFunctions();
    g_crashGuard.initialized = true;

    if (g_crashGuard.miniDumpWriteDump == nullptr)
        return false;
    return InstallExceptionFilter();
}

bool InstallExceptionFilter() {
    const bool installed = g_crashGuard.installed;
    if (!CRASHGUARD_ASSERT(!installed))
        return false;
    if (!IsWindowsXpOrLater())
        return false;

    g_crashGuard.previousErrorMode =
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    g_crashGuard.previousFilter = SetUnhandledExceptionFilter(&TopLevelExceptionFilter);
    // Only after the registration: the patched function swallows every call. A failed patch
    // leaves the filter registered all the same.
    PatchSetUnhandledExceptionFilter();
    g_crashGuard.installed = true;
    return true;
}

bool RemoveCrashGuard() {
    bool removed = false;
    if (g_crashGuard.installed) {
        SetErrorMode(g_crashGuard.previousErrorMode);
        if (IsPrologueSaved())
            RestoreSetUnhandledExceptionFilter();
        // Only after the restore: the patched function would swallow the call.
        SetUnhandledExceptionFilter(g_crashGuard.previousFilter);
        g_crashGuard.installed = false;
        removed = true;
    }
    if (g_crashGuard.initialized) {
        g_crashGuard.initialized = false;
        DeleteCriticalSection(&g_crashGuard.dumpLock);
    }
    g_crashGuard.miniDumpWriteDump = nullptr;
    g_crashGuard.dbgHelpModule.Reset();
    return removed;
}
