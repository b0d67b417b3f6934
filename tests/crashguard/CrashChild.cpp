// Links the crash guard and ends the way its first argument chooses; the second argument is
// the log folder. Exit codes below 0x100 mean the child could not set up its case.
#include "crashguard/CrashGuard.h"
#include "crashguard/CrashGuardSeams.h"
#include "crashguard/CrashGuardState.h"
#include "crashguard/CrashReport.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>

namespace {

constexpr DWORD kOwnFilterCalled = 0x0BADF117;
std::wstring g_folder;
HANDLE g_faultEvent = nullptr;
MiniDumpWriteDumpFunction g_realWriter = nullptr;

void AppendToFile(const std::wstring& name, const void* data, DWORD size) {
    const HANDLE file =
        CreateFileW((g_folder + L"\\" + name).c_str(), FILE_APPEND_DATA,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, data, size, &written, nullptr);
    CloseHandle(file);
}

// Debugger output travels as exceptions that the system raises; a vectored handler sees them
// first and keeps the narrow text in debug.txt.
LONG CALLBACK RecordDebugOutput(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
        const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        const DWORD length = static_cast<DWORD>(record->ExceptionInformation[0]);
        AppendToFile(L"debug.txt", text,
                     length > 0 && text[length - 1] == '\0' ? length - 1 : length);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI OwnFilter(EXCEPTION_POINTERS*) {
    TerminateProcess(GetCurrentProcess(), kOwnFilterCalled);
    return EXCEPTION_CONTINUE_SEARCH;
}

// The compiler cannot see that this address is invalid, so the store really faults.
volatile uintptr_t g_badAddress = 0x10;

void WriteToBadAddress() {
    *reinterpret_cast<volatile int*>(g_badAddress) = 1;
}

// An access violation whose ExceptionAddress is 0x40100a: nothing is mapped there in a
// 64-bit process (a 32-bit program's own image usually starts at 0x400000).
void JumpToUnmappedCode() {
#if defined(_WIN64)
    volatile uintptr_t target = 0x0040100A;
#else
    volatile uintptr_t target = 0x0000100A;
#endif
    reinterpret_cast<void (*)()>(target)();
}

DWORD WINAPI FaultWhenSignalled(void*) {
    WaitForSingleObject(g_faultEvent, INFINITE);
    WriteToBadAddress();
    return 0;
}

std::string ReadCrashLog() {
    const HANDLE file = CreateFileW((g_folder + L"\\crash.log").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    char buffer[4096];
    DWORD read = 0;
    ReadFile(file, buffer, sizeof(buffer), &read, nullptr);
    CloseHandle(file);
    return std::string(buffer, read);
}

// Sets another thread faulting and lets it enter the filter before the real dump is written.
BOOL WINAPI WriterThatLetsAnotherThreadFault(HANDLE process, DWORD processId, HANDLE file,
                                             MINIDUMP_TYPE type,
                                             PMINIDUMP_EXCEPTION_INFORMATION exception,
                                             PMINIDUMP_USER_STREAM_INFORMATION streams,
                                             PMINIDUMP_CALLBACK_INFORMATION callback) {
    SetEvent(g_faultEvent);
    for (int i = 0; i < 1000; ++i) {
        if (ReadCrashLog().find("Multiple calls to TopLevelExceptionFilter") != std::string::npos)
            break;
        Sleep(10);
    }
    return g_realWriter(process, processId, file, type, exception, streams, callback);
}

BOOL WINAPI WriterThatFaults(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                             PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION) {
    WriteToBadAddress();
    return TRUE;
}

// Keeps the dump types it was asked for in attempts.txt, and fails.
BOOL WINAPI WriterThatFails(HANDLE, DWORD, HANDLE file, MINIDUMP_TYPE type,
                            PMINIDUMP_EXCEPTION_INFORMATION, PMINIDUMP_USER_STREAM_INFORMATION,
                            PMINIDUMP_CALLBACK_INFORMATION) {
    char text[32];
    const int length = snprintf(text, sizeof(text), "%lx%s ", static_cast<unsigned long>(type),
                                file != INVALID_HANDLE_VALUE && file != nullptr ? "" : "!");
    AppendToFile(L"attempts.txt", text, static_cast<DWORD>(length));
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

DWORD WINAPI HoldLoaderLock(void* heldEvent) {
    ULONG_PTR cookie = 0;
    if (g_crashGuard.ldrLockLoaderLock(0, nullptr, &cookie) != 0)
        return 1;
    SetEvent(heldEvent);
    // Long enough for the fault on the main thread; given back in case the system needs it
    // to end the process.
    Sleep(3000);
    g_crashGuard.ldrUnlockLoaderLock(0, cookie);
    return 0;
}

int WINAPI ShuttingDown(int index) {
    return index == SM_SHUTTINGDOWN ? 1 : GetSystemMetrics(index);
}

bool ServiceAccount() {
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3)
        return 1;
    const std::wstring mode = argv[1];
    g_folder = argv[2];
    AddVectoredExceptionHandler(1, &RecordDebugOutput);

    if (mode == L"assert") {
        // The runtime's own report: a console program prints it and aborts.
        InstallCrashGuard(g_folder);
        InstallCrashGuard(g_folder);
        return 2;
    }

    if (mode == L"dbghelp") {
        // Tells where dbghelp.dll came from: the loaded module, and the fake's own report.
        const bool installed = InstallCrashGuard(g_folder);
        wchar_t module[MAX_PATH] = {};
        GetModuleFileNameW(g_crashGuard.dbgHelpModule.Get(), module, MAX_PATH);
        wchar_t fake[MAX_PATH] = {};
        GetEnvironmentVariableW(L"PINEWICK_FAKE_DBGHELP", fake, MAX_PATH);
        const std::wstring report = std::wstring(module) + L"|" + fake;
        AppendToFile(L"dbghelp.txt", report.c_str(),
                     static_cast<DWORD>(report.size() * sizeof(wchar_t)));
        RemoveCrashGuard();
        return installed ? 0 : 3;
    }

    if (mode == L"oldsystem") {
        SetErrorMode(SEM_FAILCRITICALERRORS);
        SetUnhandledExceptionFilter(&OwnFilter);
        if (InstallCrashGuard(g_folder))
            return 10;
        if (GetErrorMode() != SEM_FAILCRITICALERRORS)
            return 11;
        // Still registered, and the function is not patched.
        if (SetUnhandledExceptionFilter(&OwnFilter) != &OwnFilter)
            return 12;
        if (!g_crashGuard.initialized || !g_crashGuard.dbgHelpModule)
            return 13;
        if (RemoveCrashGuard())
            return 14;
        if (g_crashGuard.initialized || g_crashGuard.dbgHelpModule)
            return 15;
        return 0;
    }

    if (!InstallCrashGuard(g_folder))
        return 3;
    // The guard's filter must stay registered whatever the program registers later.
    if (SetUnhandledExceptionFilter(&OwnFilter) != nullptr)
        return 4;

    g_faultEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (mode == L"av") {
        JumpToUnmappedCode();
    } else if (mode == L"threads") {
        HANDLE threads[8];
        for (HANDLE& thread : threads)
            thread = CreateThread(nullptr, 0, &FaultWhenSignalled, nullptr, 0, nullptr);
        SetEvent(g_faultEvent);
        WaitForMultipleObjects(8, threads, TRUE, INFINITE);
    } else if (mode == L"during") {
        g_realWriter = g_crashGuard.miniDumpWriteDump;
        g_crashGuard.miniDumpWriteDump = &WriterThatLetsAnotherThreadFault;
        CreateThread(nullptr, 0, &FaultWhenSignalled, nullptr, 0, nullptr);
        JumpToUnmappedCode();
    } else if (mode == L"dumpfault") {
        g_crashGuard.miniDumpWriteDump = &WriterThatFaults;
        JumpToUnmappedCode();
    } else if (mode == L"dumpfail") {
        g_crashGuard.miniDumpWriteDump = &WriterThatFails;
        JumpToUnmappedCode();
    } else if (mode == L"loaderlock") {
        const HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        CreateThread(nullptr, 0, &HoldLoaderLock, held, 0, nullptr);
        if (WaitForSingleObject(held, 10000) != WAIT_OBJECT_0)
            return 5;
        JumpToUnmappedCode();
    } else if (mode == L"service") {
        g_crashGuardSeams.isServiceAccount = &ServiceAccount;
        JumpToUnmappedCode();
    } else if (mode == L"shutdown") {
        g_crashGuardSeams.getSystemMetrics = &ShuttingDown;
        JumpToUnmappedCode();
    } else if (mode == L"noinfo") {
        // The filter called without exception information: it returns, and the exit code
        // tells the error mode it left.
        if (TopLevelExceptionFilter(nullptr) != EXCEPTION_CONTINUE_SEARCH)
            return 6;
        return static_cast<int>(GetErrorMode());
    }
    return 7;
}
