#include "crashguard/Minidump.h"

#include "common/UniqueResource.h"
#include "crashguard/CrashGuardState.h"
#include "crashguard/FixedText.h"
#include "crashguard/LoaderLock.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>

namespace {

// Each failed attempt drops the details that most often make the writer fail.
constexpr DWORD kFirstDumpType =
    MiniDumpWithHandleData | MiniDumpWithUnloadedModules | MiniDumpWithIndirectlyReferencedMemory |
    MiniDumpWithProcessThreadData | MiniDumpWithThreadInfo | MiniDumpWithTokenInformation;
constexpr DWORD kDroppedAfterFirst = 0x41800;
constexpr DWORD kDroppedAfterSecond = 0x160;
constexpr int kAttempts = 3;

// Held around each call of the writer, while set-up has run.
class DumpLockTurn {
public:
    DumpLockTurn() : held_(g_crashGuard.initialized) {
        if (held_)
            EnterCriticalSection(&g_crashGuard.dumpLock);
    }
    ~DumpLockTurn() {
        if (held_)
            LeaveCriticalSection(&g_crashGuard.dumpLock);
    }
    DumpLockTurn(const DumpLockTurn&) = delete;
    DumpLockTurn& operator=(const DumpLockTurn&) = delete;

private:
    const bool held_;
};

} // namespace

bool FormatDumpName(const FILETIME& time, wchar_t (&name)[kDumpPathCharacters]) {
    size_t length = 0;
    name[0] = L'\0';
    return AppendFixedText(name, kDumpPathCharacters, length, L"unp") &&
           AppendFixedNumber(name, kDumpPathCharacters, length, time.dwHighDateTime, 10) &&
           AppendFixedNumber(name, kDumpPathCharacters, length, time.dwLowDateTime, 10) &&
           AppendFixedText(name, kDumpPathCharacters, length, L".mdmp");
}

DWORD WriteMinidump(EXCEPTION_POINTERS* exceptionPointers) {
    bool busy = false;
    // Only a lock held by another thread stops the dump: the loader lock is recursive, so the
    // faulting thread takes it even when it holds it already.
    if (ProbeLoaderLock(&busy) == ERROR_SUCCESS && busy)
        return ERROR_CANNOT_MAKE;
    if (!g_crashGuard.dbgHelpModule || g_crashGuard.miniDumpWriteDump == nullptr)
        return ERROR_CALL_NOT_IMPLEMENTED;

    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    wchar_t name[kDumpPathCharacters] = {};
    wchar_t path[kDumpPathCharacters] = {};
    // A folder too long for the buffer must not leave a cut path to create a file at.
    if (!FormatDumpName(now, name) || !PathAppendW(path, g_crashGuard.logFolder.c_str()) ||
        !PathAppendW(path, name))
        return ERROR_FILENAME_EXCED_RANGE;

    SHCreateDirectory(nullptr, g_crashGuard.logFolder.c_str());

    UniqueFileHandle file(
        CreateFileW(path, GENERIC_ALL, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file)
        return GetLastError();

    MINIDUMP_EXCEPTION_INFORMATION exceptionInformation = {};
    exceptionInformation.ThreadId = GetCurrentThreadId();
    exceptionInformation.ExceptionPointers = exceptionPointers;
    exceptionInformation.ClientPointers = FALSE;

    DWORD dumpType = kFirstDumpType;
    bool written = false;
    DWORD result = ERROR_SUCCESS;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        {
            DumpLockTurn turn;
            written = g_crashGuard.miniDumpWriteDump(
                          GetCurrentProcess(), GetCurrentProcessId(), file.Get(),
                          static_cast<MINIDUMP_TYPE>(dumpType),
                          exceptionPointers != nullptr ? &exceptionInformation : nullptr, nullptr,
                          nullptr) != FALSE;
            if (!written)
                result = GetLastError();
        }
        if (written)
            break;
        if (attempt == 1)
            dumpType &= ~kDroppedAfterFirst;
        else if (attempt == 2)
            dumpType &= ~kDroppedAfterSecond;
    }

    file.Reset();
    if (written)
        return ERROR_SUCCESS;
    DeleteFileW(path);
    // A writer that fails without saying why must still not read as a success.
    return result != ERROR_SUCCESS ? result : ERROR_GEN_FAILURE;
}
