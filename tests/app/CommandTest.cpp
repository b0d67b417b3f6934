#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/InstallCommand.h"
#include "app/UninstallCommand.h"
#include "AppTestFiles.h"
#include "SavedRegistryValue.h"
#include "common/UniqueResource.h"
#include "common/WideFormat.h"
#include "driverstore/CatalogUninstaller.h"
#include "log/Logger.h"
#include "tests/netcfg/FakeNetCfg.h"

namespace {

const HRESULT FilterLimit = static_cast<HRESULT>(0x8004A029);

// A Windows version of the test's choosing, and what the command asked with.
struct FakeVersion {
    static DWORD major;
    static DWORD minor;
    static BOOL answer;
    static int calls;
    // Every query came with a record of 276 bytes and nothing else filled in.
    static bool wellFormed;

    static void Set(DWORD newMajor, DWORD newMinor, BOOL newAnswer = TRUE) {
        major = newMajor;
        minor = newMinor;
        answer = newAnswer;
        calls = 0;
        wellFormed = true;
    }

    static BOOL WINAPI Get(LPOSVERSIONINFOW version) {
        ++calls;
        OSVERSIONINFOW blank = {};
        blank.dwOSVersionInfoSize = 276;
        wellFormed = wellFormed && std::memcmp(version, &blank, sizeof blank) == 0;
        if (!answer) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        version->dwMajorVersion = major;
        version->dwMinorVersion = minor;
        version->dwPlatformId = VER_PLATFORM_WIN32_NT;
        return TRUE;
    }
};
DWORD FakeVersion::major = 6;
DWORD FakeVersion::minor = 1;
BOOL FakeVersion::answer = TRUE;
int FakeVersion::calls = 0;
bool FakeVersion::wellFormed = true;

// The fake network-configuration objects, answering one call differently for each opening:
// the n-th configuration object created answers with the n-th result. Each InstallComponent
// and UninstallComponent opens once.
class ScriptedNetCfg {
public:
    ScriptedNetCfg(HRESULT FakeNetCfg::*answer, std::vector<HRESULT> results)
        : answer_(answer), results_(std::move(results)) {}

    CommandEnvironment Environment() {
        NetCfgPlatform platform = fake.Platform();
        auto create = platform.coCreateInstance;
        platform.coCreateInstance = [this, create](REFCLSID clsid, LPUNKNOWN outer, DWORD context,
                                                   REFIID iid, LPVOID* object) {
            if (next_ < results_.size())
                fake.*answer_ = results_[next_];
            ++next_;
            return create(clsid, outer, context, iid, object);
        };
        return CommandEnvironment{FakeVersion::Get, platform};
    }

    // The classes opened and the components asked for, in order: "NET", "Install('a')", ...
    std::vector<std::string> Trace() const {
        std::vector<std::string> trace;
        for (const std::string& call : fake.calls) {
            const size_t query = call.find(".QueryNetCfgClass(");
            if (query != std::string::npos) {
                const size_t start = query + std::strlen(".QueryNetCfgClass(");
                trace.push_back(call.substr(start, call.find(',', start) - start));
            }
            for (const char* verb : {".Install(", ".FindComponent("}) {
                const size_t at = call.find(verb);
                if (at != std::string::npos) {
                    const size_t start = at + 1;
                    const size_t end = call.find('\'', call.find('\'', start) + 1);
                    trace.push_back(call.substr(start, end - start + 1) + ")");
                }
            }
        }
        return trace;
    }

    // Every write lock was asked for under the program's client text and time-out.
    void ExpectLocksTakenAsThePinewickClient() const {
        for (const std::string& call : fake.calls) {
            if (call.find(".AcquireWriteLock(") != std::string::npos) {
                EXPECT_NE(std::string::npos, call.find("(30000, 'orvel Pinewick')")) << call;
            }
        }
    }

    FakeNetCfg fake;

private:
    HRESULT FakeNetCfg::*answer_;
    std::vector<HRESULT> results_;
    size_t next_ = 0;
};

std::wstring LevelName(LogLevel level) {
    static const wchar_t* const names[] = {L"trace",   L"debug", L"info", L"notice",
                                           L"warning", L"error", L"fatal"};
    return level >= 0 && level <= 6 ? names[level] : L"none";
}

std::wstring Hex(HRESULT hr) {
    std::wstring text;
    FormatExactF(text, L"0x%08lx", static_cast<unsigned long>(hr));
    return text;
}

// Lines as "level tag message"; debug lines are let through so that their texts show.
class Commands : public testing::Test {
protected:
    void SetUp() override {
        g_logger.settings[L"default"][L"level"] = L"debug";
        first_ = g_logger.records.size();
        FakeVersion::Set(6, 1);
    }

    std::vector<std::wstring> LoggedLines() const {
        std::vector<std::wstring> lines;
        for (size_t i = first_; i < g_logger.records.size(); ++i) {
            const LogRecord& record = g_logger.records[i];
            lines.push_back(LevelName(record.level) + L" " + record.component.Text() + L" " +
                            record.message);
        }
        return lines;
    }

    // `expected` with "*" standing for any one line.
    void ExpectLines(const std::vector<std::wstring>& expected) const {
        const std::vector<std::wstring> lines = LoggedLines();
        ASSERT_EQ(expected.size(), lines.size()) << testing::PrintToString(lines);
        for (size_t i = 0; i < lines.size(); ++i) {
            if (expected[i] != L"*") {
                EXPECT_EQ(expected[i], lines[i]);
            }
        }
    }

    static HRESULT Install(const std::wstring& text, const CommandEnvironment& environment) {
        CommandLine commandLine;
        commandLine.Parse(text, true);
        return RunInstall(commandLine, environment);
    }

    static HRESULT Uninstall(const std::wstring& text, const CommandEnvironment& environment) {
        CommandLine commandLine;
        commandLine.Parse(text, true);
        return RunUninstall(commandLine, environment);
    }

private:
    size_t first_ = 0;
};

using Trace = std::vector<std::string>;
using Lines = std::vector<std::wstring>;

struct NetworkCase {
    const wchar_t* commandLine;
    // Per opening: Install's answer for the install command, FindComponent's for uninstall.
    std::vector<HRESULT> answers;
    HRESULT result;
    Trace trace;
    Lines lines;
};

TEST_F(Commands, InstallRunsTheAdapterThenTheServiceAndTheLastStageDecides) {
    const std::wstring adapterFailed =
        L"error pinewick Unable to install the network adapter 'a' with error 0x80004005!";
    const std::wstring adapterInstalled =
        L"info pinewick The network adapter 'a' was successfully installed.";
    const std::wstring serviceInstalled =
        L"info pinewick The network service 's' was successfully installed.";
    const NetworkCase cases[] = {
        {L"p /install /net:a /netservice:s",
         {E_FAIL, S_OK},
         S_OK,
         {"NET", "Install('a')", "NETSERVICE", "Install('s')"},
         {adapterFailed, serviceInstalled}},
        {L"p /install /netservice:s /net:a",
         {S_OK, S_OK},
         S_OK,
         {"NET", "Install('a')", "NETSERVICE", "Install('s')"},
         {adapterInstalled, serviceInstalled}},
        {L"p /install /net:a /netservice:s",
         {S_OK, E_ACCESSDENIED},
         E_ACCESSDENIED,
         {"NET", "Install('a')", "NETSERVICE", "Install('s')"},
         {adapterInstalled,
          L"error pinewick Unable to install the network service 's' with error 0x80070005!"}},
        {L"p /install /net:a", {E_FAIL}, E_FAIL, {"NET", "Install('a')"}, {adapterFailed}},
        {L"p /install /net:",
         {S_OK},
         S_OK,
         {"NET", "Install('')"},
         {L"info pinewick The network adapter '' was successfully installed."}},
        {L"p /install", {}, S_OK, {}, {}},
    };
    for (const NetworkCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.commandLine)) + " " +
                     HexResult(c.answers.empty() ? S_OK : c.answers[0]));
        SetUp();
        ScriptedNetCfg netCfg(&FakeNetCfg::installResult, c.answers);
        EXPECT_EQ(Hex(c.result), Hex(Install(c.commandLine, netCfg.Environment())));
        EXPECT_EQ(c.trace, netCfg.Trace());
        ExpectLines(c.lines);
        netCfg.ExpectLocksTakenAsThePinewickClient();
        EXPECT_EQ("", netCfg.fake.Leaks());
        EXPECT_EQ(0, FakeVersion::calls);
    }
}

TEST_F(Commands, UninstallRunsAdapterServiceCatalogAndStopsAtTheFirstFailure) {
    const std::wstring adapterRemoved =
        L"info pinewick The network adapter 'a' was successfully uninstalled.";
    // An empty catalog name is refused by the removal itself, which logs why: a catalog
    // stage that runs shows as its failure and one more line.
    const NetworkCase cases[] = {
        {L"p /uninstall /catalog: /netservice:s /net:a",
         {S_OK, S_OK},
         E_INVALIDARG,
         {"NET", "FindComponent('a')", "NETSERVICE", "FindComponent('s')"},
         {adapterRemoved, L"info pinewick A network service 's' was successfully uninstalled.",
          L"*"}},
        {L"p /uninstall /net:a /netservice:s /catalog:",
         {E_FAIL},
         E_FAIL,
         {"NET", "FindComponent('a')"},
         {L"fatal pinewick Unable to uninstall the network adapter 'a' with error 0x80004005! "
          L"Aborting!"}},
        {L"p /uninstall /net:a /netservice:s /catalog:",
         {S_OK, E_OUTOFMEMORY},
         E_OUTOFMEMORY,
         {"NET", "FindComponent('a')", "NETSERVICE", "FindComponent('s')"},
         {adapterRemoved, L"fatal pinewick Unable to uninstall a network service 's' with "
                          L"error 0x8007000e! Aborting!"}},
        {L"p /uninstall a.inf", {}, S_OK, {}, {}},
    };
    for (const NetworkCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.commandLine)) + " " +
                     HexResult(c.answers.empty() ? S_OK : c.answers.back()));
        SetUp();
        ScriptedNetCfg netCfg(&FakeNetCfg::findFailure, c.answers);
        EXPECT_EQ(Hex(c.result), Hex(Uninstall(c.commandLine, netCfg.Environment())));
        EXPECT_EQ(c.trace, netCfg.Trace());
        ExpectLines(c.lines);
        netCfg.ExpectLocksTakenAsThePinewickClient();
        EXPECT_EQ("", netCfg.fake.Leaks());
    }
}

// The removal walks the real Inf folder; what it hands to SetupUninstallOEMInfW is recorded
// instead of removed, since Wine's removes nothing anyway.
std::vector<std::wstring> g_uninstalled;

BOOL WINAPI RecordUninstall(PCWSTR infFileName, DWORD, PVOID) {
    g_uninstalled.push_back(infFileName);
    return TRUE;
}

std::string InfText(const std::string& versionLines) {
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=System\r\n"
           "ClassGuid={4D36E97D-E325-11CE-BFC1-08002BE10318}\r\n" +
           versionLines;
}

std::string Ascii(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST_F(Commands, UninstallHandsTheCatalogOptionToTheRemovalUnchanged) {
    const std::wstring stem = L"pw-app-catalog-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring inf = InfFolder() + stem + L".inf";
    ASSERT_TRUE(WriteAscii(inf, InfText("CatalogFile=" + Ascii(stem) + ".cat\r\n")));
    g_uninstalled.clear();
    const UninstallOemInfFunction saved = g_uninstallOemInf;
    g_uninstallOemInf = RecordUninstall;

    ScriptedNetCfg netCfg(&FakeNetCfg::findFailure, {});
    const std::wstring catalog = stem + L".CAT";
    const HRESULT result =
        Uninstall(L"p /uninstall /catalog:" + catalog + L" other.inf", netCfg.Environment());

    g_uninstallOemInf = saved;
    DeleteFileW(inf.c_str());
    EXPECT_EQ(S_OK, result);
    EXPECT_EQ(std::vector<std::wstring>{stem + L".inf"}, g_uninstalled);
    EXPECT_EQ(Trace{}, netCfg.Trace());
    ExpectLines({L"debug pinewick All driver packages associated with the catalog file '" +
                 catalog + L"' was successfully uninstalled."});
}

TEST_F(Commands, TheFirstFailingInfEndsTheInstallBeforeAnyNetworkStage) {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    const std::wstring stem = L"pw-app-inf-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring good = std::wstring(temp) + stem + L".inf";
    const std::wstring missing = std::wstring(temp) + stem + L"-missing.inf";
    const std::wstring notTried = std::wstring(temp) + stem + L"-not-tried.inf";
    ASSERT_TRUE(WriteAscii(good, InfText("")));

    ScriptedNetCfg netCfg(&FakeNetCfg::installResult, {});
    const HRESULT result = Install(L"p /install /net:a /netservice:s \"" + good + L"\" \"" +
                                       missing + L"\" \"" + notTried + L"\"",
                                   netCfg.Environment());

    DeleteFileW(good.c_str());
    DeleteFileW((InfFolder() + stem + L".inf").c_str());
    DeleteFileW((InfFolder() + stem + L".pnf").c_str());
    EXPECT_EQ(Hex(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), Hex(result));
    ExpectLines({L"debug pinewick The INF file '" + good + L"' was successfully installed.",
                 L"fatal pinewick Unable to install the INF file '" + missing +
                     L"' with error 0x80070002! Aborting!"});
    EXPECT_EQ(std::vector<std::string>{}, netCfg.fake.calls);
}

const wchar_t kNetworkKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Network";

// The system's MaxNumFilters value, put back as it was when the test ends.
class MaxNumFilters : public SavedRegistryValue {
public:
    MaxNumFilters() : SavedRegistryValue(kNetworkKey, L"MaxNumFilters", 0) {}

    // The value when it is a REG_DWORD; nothing when it is missing or of another type.
    static std::optional<DWORD> Read() {
        DWORD value = 0;
        DWORD size = sizeof value;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, kNetworkKey, L"MaxNumFilters", RRF_RT_REG_DWORD,
                         nullptr, &value, &size) != ERROR_SUCCESS)
            return std::nullopt;
        return value;
    }
};

struct LimitCase {
    const char* what;
    DWORD major;
    DWORD minor;
    BOOL versionAnswer;
    // Missing when unset; `beforeIsText` stands for a REG_SZ value, which is no limit.
    std::optional<DWORD> before;
    bool beforeIsText;
    std::vector<HRESULT> answers;
    std::optional<DWORD> after;
    int versionQueries;
    int installs;
    HRESULT result;
};

TEST_F(Commands, RefusedServiceRaisesTheFilterLimitOnlyOnWindows6_0And6_1) {
    MaxNumFilters limit;
    const std::nullopt_t missing = std::nullopt;
    const LimitCase cases[] = {
        {"6.1, missing, refused twice",
         6,
         1,
         TRUE,
         missing,
         false,
         {FilterLimit, FilterLimit},
         9u,
         1,
         2,
         FilterLimit},
        {"6.1, missing, then installed",
         6,
         1,
         TRUE,
         missing,
         false,
         {FilterLimit, S_OK},
         9u,
         1,
         2,
         S_OK},
        {"6.0, 12, then installed", 6, 0, TRUE, 12u, false, {FilterLimit, S_OK}, 13u, 1, 2, S_OK},
        {"6.1, unreadable", 6, 1, TRUE, missing, true, {FilterLimit, S_OK}, 9u, 1, 2, S_OK},
        {"6.1, at the largest number",
         6,
         1,
         TRUE,
         MAXDWORD,
         false,
         {FilterLimit, S_OK},
         MAXDWORD,
         1,
         2,
         S_OK},
        {"6.2", 6, 2, TRUE, missing, false, {FilterLimit, S_OK}, missing, 1, 1, FilterLimit},
        {"10.0", 10, 0, TRUE, 8u, false, {FilterLimit, S_OK}, 8u, 1, 1, FilterLimit},
        {"5.1", 5, 1, TRUE, 8u, false, {FilterLimit, S_OK}, 8u, 1, 1, FilterLimit},
        {"version unknown",
         6,
         1,
         FALSE,
         missing,
         false,
         {FilterLimit, S_OK},
         missing,
         1,
         1,
         FilterLimit},
        {"another failure", 6, 1, TRUE, missing, false, {E_FAIL, S_OK}, missing, 0, 1, E_FAIL},
    };
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        FakeVersion::Set(c.major, c.minor, c.versionAnswer);
        if (c.beforeIsText) {
            const wchar_t text[] = L"9";
            limit.Set(REG_SZ, text, sizeof text);
        } else if (c.before) {
            limit.Set(REG_DWORD, &*c.before, sizeof(DWORD));
        } else {
            limit.Delete();
        }

        ScriptedNetCfg netCfg(&FakeNetCfg::installResult, c.answers);
        EXPECT_EQ(Hex(c.result), Hex(Install(L"p /install /netservice:s", netCfg.Environment())));

        EXPECT_EQ(c.after, MaxNumFilters::Read());
        EXPECT_EQ(c.versionQueries, FakeVersion::calls);
        EXPECT_TRUE(FakeVersion::wellFormed);
        Trace installs;
        for (int i = 0; i < c.installs; ++i)
            installs.insert(installs.end(), {"NETSERVICE", "Install('s')"});
        EXPECT_EQ(installs, netCfg.Trace());
        const std::wstring outcome =
            FAILED(c.result)
                ? L"error pinewick Unable to install the network service 's' with error " +
                      Hex(c.result) + L"!"
                : L"info pinewick The network service 's' was successfully installed.";
        // An unreadable value is reported by the registry routines themselves.
        ExpectLines(c.beforeIsText ? Lines{L"*", outcome} : Lines{outcome});
        EXPECT_EQ("", netCfg.fake.Leaks());
    }
}

} // namespace
