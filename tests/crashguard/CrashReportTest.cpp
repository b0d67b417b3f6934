#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

// Each test runs the crash child, which faults in the way its mode chooses, and reads what
// the crash guard left in the log folder.

namespace {

constexpr DWORD kAccessViolation = 0xC0000005;
#if defined(_WIN64)
const char kFaultAddress[] = "40100a";
#else
const char kFaultAddress[] = "100a";
#endif
const std::string kDumpSaved = "====================\r\r\nMinidump saved successfully.";

std::string Hex(DWORD value) {
    char text[16];
    snprintf(text, sizeof(text), "%lx", static_cast<unsigned long>(value));
    return text;
}

std::string DumpFailed(const std::string& code) {
    return "====================\r\r\nMinidump generation failed with error: " + std::string(code);
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// The folder holds exactly one unp<high><low>.mdmp, and it is a minidump.
void ExpectOneMinidump(const std::wstring& folder) {
    const std::vector<std::wstring> dumps = FindFiles(folder, L"unp*.mdmp");
    ASSERT_EQ(dumps.size(), 1u);
    const std::string name = Narrow(dumps[0]);
    EXPECT_EQ(name.find_first_not_of("0123456789", 3), name.size() - 5) << name;
    EXPECT_EQ(ReadBytes(folder + L"\\" + dumps[0]).substr(0, 4), "MDMP");
}

void ExpectNoMinidump(const std::wstring& folder) {
    EXPECT_TRUE(FindFiles(folder, L"unp*").empty());
}

class CrashGuardCrash : public testing::Test {
protected:
    CrashGuardCrash()
        : scratch_(Widen(testing::UnitTest::GetInstance()->current_test_info()->name())),
          logFolder_(scratch_ / L"log") {
        CreateDirectoryW(logFolder_.c_str(), nullptr);
    }

    // Runs the child and expects it to end with the fault's code, as the system or the filter
    // ends it.
    void Crash(const std::wstring& mode) {
        Run(mode);
        EXPECT_TRUE(faultCode_ == kAccessViolation || IsEmulatedFault(faultCode_))
            << std::hex << faultCode_ << "; output:\n"
            << Output();
    }

    void Run(const std::wstring& mode) {
        const ChildOutcome outcome = RunCrashChild(mode, logFolder_, scratch_ / L"output.txt");
        ASSERT_TRUE(outcome.finished) << "the child hung; output:\n" << Output();
        faultCode_ = outcome.exitCode;
    }

    // The emulated 32-bit Wine gives no trap number, so a fault arrives there as an illegal
    // instruction.
    static bool IsEmulatedFault(DWORD code) {
#if defined(_WIN64)
        (void)code;
        return false;
#else
        return code == static_cast<DWORD>(EXCEPTION_ILLEGAL_INSTRUCTION);
#endif
    }

    // Tests that need a real minidump of the process run in the 64-bit build only: the
    // emulated 32-bit process's minidumps are not reliable.
    static bool SkipWithoutReliableDumps() {
#if defined(_WIN64)
        return false;
#else
        return true;
#endif
    }

    // "Unhandled exception: Address=a Code=c", ending on disk in CR CR LF.
    std::string ExceptionLine() const {
        return std::string("Unhandled exception: Address=") + kFaultAddress +
               " Code=" + Hex(faultCode_) + "\r\r\n";
    }

    std::string CrashLog() const {
        return ReadBytes(logFolder_ + L"\\crash.log");
    }
    std::string DebugOutput() const {
        return ReadBytes(logFolder_ + L"\\debug.txt");
    }
    std::string Output() const {
        return ReadBytes(scratch_ / L"output.txt");
    }

    ScratchFolder scratch_;
    std::wstring logFolder_;
    DWORD faultCode_ = 0;
};

} // namespace

TEST_F(CrashGuardCrash, FaultOnTheMainThreadWritesTheLineAndAMinidump) {
    if (SkipWithoutReliableDumps())
        GTEST_SKIP()
            << "minidumps of the emulated 32-bit process are not reliable; the 64-bit build "
               "tests this";
    Crash(L"av");
    EXPECT_EQ(CrashLog(), ExceptionLine() + kDumpSaved);
    ExpectOneMinidump(logFolder_);
    EXPECT_EQ(DebugOutput(), "Entering TopLevelExceptionFilter\nWriting minidump...\n");
}

TEST_F(CrashGuardCrash, MissingLogFolderLosesTheFirstLineAndIsCreatedForTheDump) {
    if (SkipWithoutReliableDumps())
        GTEST_SKIP()
            << "minidumps of the emulated 32-bit process are not reliable; the 64-bit build "
               "tests this";
    RemoveTree(logFolder_);
    logFolder_ += L"\\deeper";
    Crash(L"av");
    EXPECT_EQ(CrashLog(), kDumpSaved);
    ExpectOneMinidump(logFolder_);
}

TEST_F(CrashGuardCrash, ThreadsFaultingAtOnceWriteOneReport) {
    if (SkipWithoutReliableDumps())
        GTEST_SKIP()
            << "minidumps of the emulated 32-bit process are not reliable; the 64-bit build "
               "tests this";
    Crash(L"threads");
    const std::string log = CrashLog();
    EXPECT_EQ(CountOccurrences(log, "Unhandled exception: Address="), 1u) << log;
    EXPECT_EQ(CountOccurrences(log, "Minidump saved successfully."), 1u) << log;
    EXPECT_EQ(CountOccurrences(log, "Multiple calls to GenerateExceptionReport"), 0u) << log;
    EXPECT_LE(CountOccurrences(log, "Warning: Multiple calls to TopLevelExceptionFilter detected."),
              7u);
    ExpectOneMinidump(logFolder_);
}

// The second thread faults while the first is inside the minidump step; it must neither
// write a report nor end the process before the dump is complete.
TEST_F(CrashGuardCrash, FaultOnAnotherThreadDuringTheReportOnlyWarns) {
    if (SkipWithoutReliableDumps())
        GTEST_SKIP()
            << "minidumps of the emulated 32-bit process are not reliable; the 64-bit build "
               "tests this";
    Crash(L"during");
    EXPECT_EQ(CrashLog(), ExceptionLine() +
                              "Warning: Multiple calls to TopLevelExceptionFilter detected." +
                              kDumpSaved);
    ExpectOneMinidump(logFolder_);
}

TEST_F(CrashGuardCrash, FaultInsideTheMinidumpStepIsCaughtAndReported) {
    Crash(L"dumpfault");
    // The writer faults the same way as the program did.
    EXPECT_EQ(CrashLog(),
              ExceptionLine() + "ERROR: Failed to write minidump." + DumpFailed(Hex(faultCode_)));
}

TEST_F(CrashGuardCrash, WriterFailingThreeTimesLeavesNoFile) {
    Crash(L"dumpfail");
    EXPECT_EQ(ReadBytes(logFolder_ + L"\\attempts.txt"), "41164 164 4 ");
    EXPECT_EQ(CrashLog(), ExceptionLine() + DumpFailed("70")); // ERROR_DISK_FULL
    ExpectNoMinidump(logFolder_);
}

TEST_F(CrashGuardCrash, LoaderLockHeldByAnotherThreadSkipsTheDump) {
    Crash(L"loaderlock");
    EXPECT_EQ(CrashLog(), ExceptionLine() + DumpFailed("52")); // ERROR_CANNOT_MAKE
    ExpectNoMinidump(logFolder_);
}

TEST_F(CrashGuardCrash, ServiceAccountOrShutdownEndsTheProcessAtOnce) {
    if (SkipWithoutReliableDumps())
        GTEST_SKIP()
            << "minidumps of the emulated 32-bit process are not reliable; the 64-bit build "
               "tests this";
    for (const wchar_t* mode : {L"service", L"shutdown"}) {
        SCOPED_TRACE(Narrow(mode));
        RemoveTree(logFolder_);
        CreateDirectoryW(logFolder_.c_str(), nullptr);
        Crash(mode);
        EXPECT_EQ(CrashLog(),
                  ExceptionLine() + kDumpSaved +
                      "System is shutting down or exception in service, exiting process now.\r\n");
        ExpectOneMinidump(logFolder_);
    }
}

// Called without exception information, the filter still reports and hands back with the
// system's fault dialog allowed again (SEM_NOGPFAULTERRORBOX cleared).
TEST_F(CrashGuardCrash, FilterWithoutExceptionInformationReturnsWithTheFaultDialogAllowed) {
    if (SkipWithoutReliableDumps())
        GTEST_SKIP()
            << "minidumps of the emulated 32-bit process are not reliable; the 64-bit build "
               "tests this";
    Run(L"noinfo");
    EXPECT_EQ(faultCode_, static_cast<DWORD>(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
    EXPECT_EQ(CrashLog(), "* No exception info provided for GenerateCrashReport." + kDumpSaved);
    ExpectOneMinidump(logFolder_);
}
