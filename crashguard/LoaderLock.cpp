#include "crashguard/LoaderLock.h"

#include "crashguard/CrashGuardState.h"

namespace {

constexpr ULONG kLoaderLockTryOnly = 2;
constexpr ULONG kLoaderLockNotAcquired = 2;
constexpr ULONG kLoaderLockAcquired = 1;

template <typename Function> Function FindExport(HMODULE module, const char* name) {
    // GetProcAddress gives a generic function pointer; the export's real type is known here.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace

bool FindLoaderLockFunctions() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr)
        return false;
    g_crashGuard.ldrLockLoaderLock =
        FindExport<LdrLockLoaderLockFunction>(ntdll, "LdrLockLoaderLock");
    g_crashGuard.ldrUnlockLoaderLock =
        FindExport<LdrUnlockLoaderLockFunction>(ntdll, "LdrUnlockLoaderLock");
    if (g_crashGuard.ldrLockLoaderLock == nullptr || g_crashGuard.ldrUnlockLoaderLock == nullptr)
        return false;
    g_crashGuard.loaderLockFunctionsFound = true;
    return true;
}

DWORD ProbeLoaderLock(bool* busy) {
    if (!g_crashGuard.loaderLockFunctionsFound)
        return ERROR_NOT_SUPPORTED;
    if (busy == nullptr)
        return ERROR_INVALID_PARAMETER;

    *busy = false;
    ULONG disposition = 0;
    ULONG_PTR cookie = 0;
    LONG status = g_crashGuard.ldrLockLoaderLock(kLoaderLockTryOnly, &disposition, &cookie);
    if (status == 0) {
        if (disposition == kLoaderLockNotAcquired)
            *busy = true;
        else if (disposition == kLoaderLockAcquired)
            status = g_crashGuard.ldrUnlockLoaderLock(0, cookie);
    }
    return status == 0 ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
}
