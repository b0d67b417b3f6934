#include "crashguard/CrashReport.h"

#include "crashguard/CrashGuardSeams.h"
#include "crashguard/CrashGuardState.h"
#include "crashguard/CrashLog.h"
#include "crashguard/ExceptionGuard.h"
#include "crashguard/FixedText.h"
#include "crashguard/Minidump.h"

namespace {

constexpr size_t kReportCharacters = 512;
// The exit code when the filter was given no exception record (STATUS_UNHANDLED_EXCEPTION).
constexpr DWORD kUnknownExceptionCode = 0xC0000144;
// Long enough for the first thread's minidump; a report that hangs must not keep the
// process alive for ever.
constexpr DWORD kReportWaitMilliseconds = 60000;

// A second faulting thread must not end the process while the first is still writing the
// report: returning from the filter hands the fault to the system, which ends the process
// and with it the half-written minidump. The first thread ends the process itself.
void WaitForFirstReport() {
    if (g_crashGuard.reportThreadId == GetCurrentThreadId())
        return;
    const DWORD start = GetTickCount();
    while (g_crashGuard.reportFinished == 0 && GetTickCount() - start < kReportWaitMilliseconds)
        Sleep(10);
}

bool MustEndAtOnce() {
    if (g_crashGuardSeams.getSystemMetrics(SM_SHUTTINGDOWN) != 0)
        return true;
    bool service = false;
    DWORD faultCode = 0;
    // A fault here would enter the filter again and fault again, without end.
    CallWithExceptionGuard([&service] { service = g_crashGuardSeams.isServiceAccount(); },
                           faultCode);
    return service;
}

DWORD ExitCodeOf(const EXCEPTION_POINTERS* exceptionPointers) {
    if (exceptionPointers == nullptr || exceptionPointers->ExceptionRecord == nullptr)
        return kUnknownExceptionCode;
    return exceptionPointers->ExceptionRecord->ExceptionCode;
}

} // namespace

LONG WINAPI TopLevelExceptionFilter(EXCEPTION_POINTERS* exceptionPointers) {
    if (InterlockedCompareExchange(&g_crashGuard.filterEntered, 1, 0) != 0) {
        AppendCrashLog(L"Warning: Multiple calls to TopLevelExceptionFilter detected.");
        WaitForFirstReport();
    } else {
        g_crashGuard.reportThreadId = GetCurrentThreadId();
        DWORD faultCode = 0;
        if (!CallWithExceptionGuard(
                [exceptionPointers] { GenerateExceptionReport(exceptionPointers); }, faultCode))
            AppendCrashLog(L"ERROR: GenerateCrashReport failed.");
        InterlockedExchange(&g_crashGuard.reportFinished, 1);
    }

    if (MustEndAtOnce()) {
        AppendCrashLog(L"System is shutting down or exception in service, exiting process now.\n");
        TerminateProcess(GetCurrentProcess(), ExitCodeOf(exceptionPointers));
    }
    // The product's self-protection driver is not part of this build, so there is no one to
    // tell about the crash.
    // Without SEM_NOGPFAULTERRORBOX: the system's fault reporting may show its dialog again.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG GenerateExceptionReport(EXCEPTION_POINTERS* exceptionPointers) {
    if (InterlockedCompareExchange(&g_crashGuard.reportStarted, 1, 0) != 0) {
        AppendCrashLog(
            L"Warning: Multiple calls to GenerateExceptionReport! Ignoring additional calls.");
        return -1;
    }

    OutputDebugStringW(L"Entering TopLevelExceptionFilter\n");
    if (exceptionPointers != nullptr && exceptionPointers->ExceptionRecord != nullptr) {
        const EXCEPTION_RECORD& record = *exceptionPointers->ExceptionRecord;
        FixedText<kReportCharacters> line;
        line.Append(L"Unhandled exception: Address=");
        line.AppendHex(reinterpret_cast<ULONG_PTR>(record.ExceptionAddress));
        line.Append(L" Code=");
        line.AppendHex(record.ExceptionCode);
        line.Append(L"\r\n");
        AppendCrashLog(line.text);
    } else {
        AppendCrashLog(L"* No exception info provided for GenerateCrashReport.");
    }

    DWORD result = ERROR_SUCCESS;
    DWORD faultCode = 0;
    const bool completed = CallWithExceptionGuard(
        [&result, exceptionPointers] {
            OutputDebugStringW(L"Writing minidump...\n");
            result = WriteMinidump(exceptionPointers);
        },
        faultCode);
    if (!completed) {
        AppendCrashLog(L"ERROR: Failed to write minidump.");
        // No dump was saved, whatever the result stood at.
        result = faultCode;
    }

    // Tells support whether a minidump exists.
    FixedText<kReportCharacters> outcome;
    outcome.Append(L"====================\r\n");
    if (result == ERROR_SUCCESS) {
        outcome.Append(L"Minidump saved successfully.");
    } else {
        outcome.Append(L"Minidump generation failed with error: ");
        outcome.AppendHex(result);
    }
    AppendCrashLog(outcome.text);
    return static_cast<LONG>(result);
}
