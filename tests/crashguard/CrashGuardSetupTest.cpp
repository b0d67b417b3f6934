#include "TestSupport.h"

#include "crashguard/CrashGuard.h"
#include "crashguard/CrashGuardSeams.h"
#include "crashguard/CrashGuardState.h"
#include "crashguard/DbgHelpLoader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace {

using CodeBytes = std::array<unsigned char, 8>;

#if defined(__x86_64__) || defined(_M_X64)
const CodeBytes kPatched = {0x31, 0xC0, 0xC3, 0x90, 0x90, 0x90, 0x90, 0x90};
#else
const CodeBytes kPatched = {0x31, 0xC0, 0xC2, 0x04, 0x00, 0x90, 0x90, 0x90};
#endif

CodeBytes SetUnhandledExceptionFilterCode() {
    const auto* code = reinterpret_cast<const unsigned char*>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetUnhandledExceptionFilter")));
    CodeBytes bytes;
    std::memcpy(bytes.data(), code, bytes.size());
    return bytes;
}

LONG WINAPI EarlierFilter(EXCEPTION_POINTERS*) {
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI LaterFilter(EXCEPTION_POINTERS*) {
    return EXCEPTION_CONTINUE_SEARCH;
}

struct AssertionReport {
    int count = 0;
    std::wstring expression;
    std::wstring file;
};
AssertionReport g_report;

void RecordAssertion(const wchar_t* expression, const wchar_t* file, unsigned) {
    ++g_report.count;
    g_report.expression = expression;
    g_report.file = file;
}

} // namespace

TEST(CrashGuardSetup, ActiveGuardKeepsItsFilterAndRemovalPutsEverythingBack) {
    ScratchFolder folder(L"setup-active");
    const CodeBytes original = SetUnhandledExceptionFilterCode();
    ASSERT_NE(original, kPatched);
    SetUnhandledExceptionFilter(&EarlierFilter);
    const UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS);

    // The second round shows that set-up works again after removal.
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        ASSERT_TRUE(InstallCrashGuard(folder.Path()));
        EXPECT_EQ(GetErrorMode(), static_cast<UINT>(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
                                                    SEM_NOOPENFILEERRORBOX));
        EXPECT_EQ(SetUnhandledExceptionFilterCode(), kPatched);
        EXPECT_EQ(SetUnhandledExceptionFilter(&LaterFilter), nullptr);
        EXPECT_EQ(g_crashGuard.crashLogPath, folder.Path() + L"\\crash.log");

        EXPECT_TRUE(RemoveCrashGuard());
        EXPECT_EQ(SetUnhandledExceptionFilterCode(), original);
        EXPECT_EQ(GetErrorMode(), static_cast<UINT>(SEM_FAILCRITICALERRORS));
        // The earlier filter is registered again, and the call made while the guard was
        // active replaced nothing.
        EXPECT_EQ(SetUnhandledExceptionFilter(&EarlierFilter), &EarlierFilter);
        EXPECT_FALSE(g_crashGuard.dbgHelpModule);
    }
    SetErrorMode(errorMode);
    SetUnhandledExceptionFilter(nullptr);
}

TEST(CrashGuardSetup, RemovalWithoutSetUpReturnsFalseAndChangesNothing) {
    const CodeBytes original = SetUnhandledExceptionFilterCode();
    SetUnhandledExceptionFilter(&EarlierFilter);
    EXPECT_FALSE(RemoveCrashGuard());
    EXPECT_FALSE(RemoveCrashGuard());
    EXPECT_EQ(SetUnhandledExceptionFilterCode(), original);
    EXPECT_EQ(SetUnhandledExceptionFilter(nullptr), &EarlierFilter);
}

TEST(CrashGuardSetup, SecondSetUpRaisesTheAssertionAndChangesNothing) {
    ScratchFolder first(L"setup-twice-first");
    g_crashGuardSeams.reportAssertion = &RecordAssertion;
    ASSERT_TRUE(InstallCrashGuard(first.Path()));
    const HMODULE dbgHelp = g_crashGuard.dbgHelpModule.Get();

    EXPECT_FALSE(InstallCrashGuard(L"C:\\elsewhere"));
    EXPECT_EQ(g_report.count, 1);
    EXPECT_EQ(g_report.expression, L"!initialized");
    EXPECT_EQ(g_report.file, L"crashguard\\crashhandler");
    EXPECT_EQ(g_crashGuard.logFolder, first.Path());
    EXPECT_EQ(g_crashGuard.crashLogPath, first.Path() + L"\\crash.log");
    EXPECT_EQ(g_crashGuard.dbgHelpModule.Get(), dbgHelp);
    EXPECT_EQ(SetUnhandledExceptionFilterCode(), kPatched);

    EXPECT_FALSE(InstallExceptionFilter());
    EXPECT_EQ(g_report.count, 2);
    EXPECT_EQ(g_report.expression, L"!installed");

    EXPECT_TRUE(RemoveCrashGuard());
    EXPECT_NE(SetUnhandledExceptionFilterCode(), kPatched);
    g_crashGuardSeams.reportAssertion = &_wassert;
}

// The assertion stays active in the release build and goes to the runtime's own report,
// which a console program prints before it aborts.
TEST(CrashGuardSetup, SecondSetUpRaisesTheRuntimeAssertionReport) {
    ScratchFolder scratch(L"runtime-assertion");
    const ChildOutcome outcome = RunCrashChild(L"assert", scratch.Path(), scratch / L"output.txt");
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 3u); // abort()
    const std::string output = ReadBytes(scratch / L"output.txt");
    EXPECT_NE(output.find("!initialized"), std::string::npos) << output;
    EXPECT_NE(output.find("crashguard\\crashhandler"), std::string::npos) << output;
}

// Where dbghelp.dll comes from: the product's folder when "ProgramFolder" names an absolute
// one, else the system directory; never the current directory. A copy of the child runs in
// a folder of its own, with the current directory holding a dbghelp.dll of its own.
TEST(CrashGuardSetup, DbgHelpComesFromProgramFolderOrTheSystemOnly) {
    ScratchFolder scratch(L"dbghelp-sources");
    const std::wstring fake = BuildFolder() + L"\\fakedbghelp.dll";
    const std::wstring programFolder = scratch / L"program";
    ASSERT_TRUE(CreateDirectoryW(programFolder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(fake.c_str(), (scratch / L"dbghelp.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(fake.c_str(), (programFolder + L"\\dbghelp.dll").c_str(), FALSE));
    wchar_t systemFolder[MAX_PATH] = {};
    GetSystemDirectoryW(systemFolder, MAX_PATH);

    // Wine prefers its own dbghelp.dll to any file of that name unless told otherwise for the
    // program; Windows loads the file it is given.
    ChildCopy child(scratch.Path(), L"crashguard_dbghelp_child.exe");
    child.SetWineSetting(L"DllOverrides", L"dbghelp", L"native,builtin");

    ProductValue value(L"ProgramFolder");
    struct Case {
        const char* what;
        DWORD type; // 0: no value
        std::wstring data;
        bool fromProgramFolder;
    };
    const Case cases[] = {
        {"absolute folder", REG_SZ, programFolder, true},
        {"with a trailing backslash", REG_SZ, programFolder + L"\\", true},
        {"missing", 0, L"", false},
        {"empty", REG_SZ, L"", false},
        {"relative to the current directory", REG_SZ, L".", false},
        {"not a REG_SZ", REG_EXPAND_SZ, programFolder, false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        if (row.type == 0)
            value.Delete();
        else
            value.Set(row.type, row.data.c_str(),
                      static_cast<DWORD>((row.data.size() + 1) * sizeof(wchar_t)));
        DeleteFileW((scratch / L"dbghelp.txt").c_str());

        const ChildOutcome outcome = RunCrashChild(
            L"dbghelp", scratch.Path(), scratch / L"output.txt", child.Program(), scratch.Path());
        ASSERT_TRUE(outcome.finished);
        EXPECT_EQ(outcome.exitCode, 0u);
        const std::string bytes = ReadBytes(scratch / L"dbghelp.txt");
        const std::wstring report(reinterpret_cast<const wchar_t*>(bytes.data()),
                                  bytes.size() / sizeof(wchar_t));
        const std::wstring loaded = report.substr(0, report.find(L'|'));
        const std::wstring fakeRan = report.substr(report.find(L'|') + 1);
        if (row.fromProgramFolder) {
            EXPECT_EQ(loaded, programFolder + L"\\dbghelp.dll");
            EXPECT_EQ(fakeRan, loaded);
        } else {
            EXPECT_EQ(CompareStringOrdinal(loaded.c_str(), -1,
                                           (std::wstring(systemFolder) + L"\\dbghelp.dll").c_str(),
                                           -1, TRUE),
                      CSTR_EQUAL)
                << "loaded " << loaded;
            EXPECT_EQ(fakeRan, L"") << "the current directory's copy ran";
        }
    }
}

// Before Windows XP, or outside the NT family, the guard sets up without its filter and
// touches neither the error mode nor the filter; removal still gives everything back.
TEST(CrashGuardSetup, OlderSystemsGetNoFilter) {
    ScratchFolder scratch(L"older-systems");
    for (const wchar_t* version : {L"win2k", L"win98"}) {
        SCOPED_TRACE(testing::Message() << version);
        ChildCopy child(scratch.Path(), L"crashguard_old_system_child.exe");
        child.SetWineSetting(L"", L"Version", version);
        const ChildOutcome outcome =
            RunCrashChild(L"oldsystem", scratch.Path(), scratch / L"output.txt", child.Program());
        ASSERT_TRUE(outcome.finished);
        EXPECT_EQ(outcome.exitCode, 0u) << "the child's check " << outcome.exitCode << " failed";
    }
}

TEST(CrashGuardSetup, ProductStringUsesTheWholeBufferAndOnlyStrings) {
    ProductValue value(L"PinewickCrashGuardRead");
    const std::wstring chars259(259, L'a');
    const std::wstring chars260(260, L'b');
    struct Case {
        const char* what;
        DWORD type; // 0: no value
        std::wstring data;
        bool terminated;
        DWORD result;
        std::wstring text;
    };
    const Case cases[] = {
        {"folder", REG_SZ, L"C:\\Program Files\\ORVEL Software\\Orvel", true, 0,
         L"C:\\Program Files\\ORVEL Software\\Orvel"},
        {"259 characters", REG_SZ, chars259, true, 0, chars259},
        {"stored without its end", REG_SZ, L"C:\\Orvel", false, 0, L"C:\\Orvel"},
        {"260 characters", REG_SZ, chars260, true, ERROR_MORE_DATA, L"unchanged"},
        {"missing", 0, L"", true, ERROR_FILE_NOT_FOUND, L"unchanged"},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, L"C:\\Orvel", true, ERROR_FILE_NOT_FOUND, L"unchanged"},
        {"REG_DWORD", REG_DWORD, L"ab", false, ERROR_FILE_NOT_FOUND, L"unchanged"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        if (row.type == 0)
            value.Delete();
        else
            value.Set(
                row.type, row.data.c_str(),
                static_cast<DWORD>((row.data.size() + (row.terminated ? 1 : 0)) * sizeof(wchar_t)));
        std::wstring text = L"unchanged";
        EXPECT_EQ(ReadProductString(L"PinewickCrashGuardRead", text), row.result);
        EXPECT_EQ(text, row.text);
    }

    // A full buffer without an end is never read as a cut text. Windows reports it as full
    // (111); Wine wants room to add the missing end and reports more data (234).
    value.Set(REG_SZ, chars260.c_str(), static_cast<DWORD>(chars260.size() * sizeof(wchar_t)));
    std::wstring text = L"unchanged";
    const DWORD result = ReadProductString(L"PinewickCrashGuardRead", text);
    EXPECT_TRUE(result == ERROR_BUFFER_OVERFLOW || result == ERROR_MORE_DATA) << result;
    EXPECT_EQ(text.find(L'b'), std::wstring::npos);
}
