#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "AppTestFiles.h"
#include "SavedRegistryValue.h"
#include "common/UniqueResource.h"
#include "tools/launcher/ChildProcess.h"

namespace {

// The build tree is on the host; Wine shows the host's root as drive Z:.
std::wstring WindowsPath(const char* hostPath) {
    std::wstring path(hostPath, hostPath + std::strlen(hostPath));
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return hostPath[0] == '/' ? L"Z:" + path : path;
}

const std::wstring Program = L"\"" + WindowsPath(PINEWICK_EXE) + L"\"";
const std::wstring Launcher = L"\"" + WindowsPath(PINEWICK_LAUNCHER_EXE) + L"\"";

const wchar_t* const Missing =
    L"fatal The command line is missing /install or /uninstall option! Aborting!";
const wchar_t* const Exclusive =
    L"fatal The command line options /install and /uninstall are mutually exclusive! Aborting!";

std::wstring StartLine(const std::wstring& normalised) {
    return L"info Pinewick is starting with command line '" + Program + normalised + L"'.";
}

std::wstring ExitLine(const std::wstring& normalised, const wchar_t* code) {
    return L"info " + Program + normalised + L" is exiting with return code " + code + L".";
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadAll(const std::wstring& path) {
    std::string bytes;
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char buffer[4096];
    DWORD read = 0;
    while (file && ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

// The file that holds this process's standard error, and so its children's Wine debug
// output; run-with-stderr-file.sh names it.
void StandardErrorFile(std::wstring& path) {
    char hostPath[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("PINEWICK_STDERR_FILE", hostPath, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH)
        << "PINEWICK_STDERR_FILE is not set: run this test through ctest, which starts it with "
           "tests/app/run-with-stderr-file.sh";
    path = WindowsPath(hostPath);
}

const std::string SimpleInf = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=System\r\n"
                              "ClassGuid={4D36E97D-E325-11CE-BFC1-08002BE10318}\r\n";

struct LogLine {
    std::wstring text;
    std::wstring level;
    std::wstring component;
    DWORD processId;
    std::wstring message;
};

// One line in the exact layout "[HH:MM:SS] [level  ] [tag            ] [  pid:  tid] message":
// level and tag padded to 7 and 15, the ids right-aligned in 5 characters or more.
void ParseLine(const std::wstring& text, LogLine& line) {
    static const std::wregex layout(
        LR"(\[(\d\d):(\d\d):(\d\d)\] \[([a-z]+ *)\] \[([a-z]+ *)\] \[( *\d+):( *\d+)\] (.*))");
    std::wsmatch match;
    ASSERT_TRUE(std::regex_match(text, match, layout)) << testing::PrintToString(text);
    EXPECT_LT(std::stoi(match[1].str()), 24);
    EXPECT_LT(std::stoi(match[2].str()), 60);
    EXPECT_LT(std::stoi(match[3].str()), 60);
    EXPECT_EQ(7u, match[4].length()) << testing::PrintToString(text);
    EXPECT_EQ(15u, match[5].length()) << testing::PrintToString(text);
    for (int id : {6, 7}) {
        const std::wstring field = match[id].str();
        const size_t digits = field.size() - field.find_first_not_of(L' ');
        EXPECT_EQ(std::max<size_t>(5, digits), field.size()) << testing::PrintToString(text);
    }
    auto trimmed = [](std::wstring field) { return field.erase(field.find_last_not_of(L' ') + 1); };
    line.text = text;
    line.level = trimmed(match[4].str());
    line.component = trimmed(match[5].str());
    line.processId = static_cast<DWORD>(std::stoul(match[6].str()));
    line.message = match[8].str();
}

struct LineCase {
    const wchar_t* arguments;
    // The normalised command line after the quoted program path.
    const wchar_t* normalised;
    std::wstring line;
    DWORD exitCode;
    const wchar_t* exitText;
};

class EndToEnd : public testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
        const char* test = testing::UnitTest::GetInstance()->current_test_info()->name();
        stem_ = L"pw-e2e-" + std::wstring(test, test + std::strlen(test)) + L"-" +
                std::to_wstring(GetCurrentProcessId());
        folder_ = temp + stem_ + L"\\";
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS);
        NewLog();
    }

    void TearDown() override {
        WIN32_FIND_DATAW found;
        const UniqueFindHandle search(FindFirstFileW((folder_ + L"*").c_str(), &found));
        if (search) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileW((folder_ + found.cFileName).c_str());
            } while (FindNextFileW(search.Get(), &found));
        }
        RemoveDirectoryW(folder_.c_str());
    }

    // Points SetupLog at a file of its own, so that a table's rows do not share one.
    void NewLog() {
        log_ = folder_ + L"setup-" + std::to_wstring(++logs_) + L".log";
        setupLog_.SetString(log_);
    }

    // Runs pinewick.exe with `arguments` after its quoted path, exactly as written.
    void Run(const std::wstring& arguments, ChildProcessResult& result,
             const ChildProcessOptions& options = ChildProcessOptions()) {
        const std::wstring commandLine = arguments.empty() ? Program : Program + L" " + arguments;
        ASSERT_EQ(0u, RunChildProcess(commandLine, options, result));
    }

    // The log's lines, checked for the file's encoding and every line's layout.
    void ReadLog(std::vector<LogLine>& lines) {
        lines.clear();
        ASSERT_TRUE(Exists(log_)) << "no log file";
        const std::string bytes = ReadAll(log_);
        ASSERT_GE(bytes.size(), 2u);
        ASSERT_EQ("\xFF\xFE", bytes.substr(0, 2)) << "UTF-16LE byte-order mark";
        ASSERT_EQ(0u, bytes.size() % 2);
        std::wstring text;
        for (size_t i = 2; i < bytes.size(); i += 2)
            text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                                static_cast<unsigned char>(bytes[i + 1]) << 8));
        EXPECT_EQ(std::wstring::npos, text.find(L'\xFEFF')) << "a second byte-order mark";

        size_t start = 0;
        while (start < text.size()) {
            const size_t end = text.find(L"\r\n", start);
            ASSERT_NE(std::wstring::npos, end) << "a line without CR LF at the end";
            const std::wstring line = text.substr(start, end - start);
            ASSERT_EQ(std::wstring::npos, line.find_first_of(L"\r\n"))
                << "a lone CR or LF: " << testing::PrintToString(line);
            lines.emplace_back();
            ASSERT_NO_FATAL_FAILURE(ParseLine(line, lines.back()));
            start = end + 2;
        }
    }

    // "level message" of each line, all of them this process's and tagged pinewick.
    // A run whose log holds the start line, one line of its own and the exit line.
    void ExpectOneLineBetweenStartAndExit(const LineCase& c) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.arguments)));
        NewLog();
        ChildProcessResult result;
        ASSERT_NO_FATAL_FAILURE(Run(c.arguments, result));
        EXPECT_EQ(c.exitCode, result.exitCode);
        ExpectLog(result.processId,
                  {StartLine(c.normalised), c.line, ExitLine(c.normalised, c.exitText)});
    }

    void ExpectLog(DWORD processId, const std::vector<std::wstring>& expected) {
        std::vector<LogLine> lines;
        ASSERT_NO_FATAL_FAILURE(ReadLog(lines));
        std::vector<std::wstring> seen;
        for (const LogLine& line : lines) {
            seen.push_back(line.level + L" " + line.message);
            EXPECT_EQ(L"pinewick", line.component);
            EXPECT_EQ(processId, line.processId) << testing::PrintToString(line.text);
        }
        EXPECT_EQ(expected, seen);
    }

    std::wstring stem_;
    std::wstring folder_;
    std::wstring log_;

private:
    // SetupLog of the product's key, in the 32-bit view a 32-bit setup writes.
    SavedRegistryValue setupLog_{L"Software\\ORVEL Software\\Orvel", L"SetupLog", KEY_WOW64_32KEY};
    int logs_ = 0;
};

TEST_F(EndToEnd, RefusedCommandLinesEndWithBadArguments) {
    const LineCase cases[] = {
        {L"", L"", Missing, 0x800700A0, L"0x800700a0"},
        {L"/install /uninstall", L" /install /uninstall", Exclusive, 0x800700A0, L"0x800700a0"},
        {L"/uninstall:now a.inf  /install:x", L" /install:x /uninstall:now \"a.inf\"", Exclusive,
         0x800700A0, L"0x800700a0"},
        {L"/INSTALL", L" /INSTALL", Missing, 0x800700A0, L"0x800700a0"},
        {L"install", L" \"install\"", Missing, 0x800700A0, L"0x800700a0"},
    };
    for (const LineCase& c : cases)
        ExpectOneLineBetweenStartAndExit(c);
}

TEST_F(EndToEnd, CommandsWithNothingToDoLogOnlyTheStartAndTheExit) {
    for (const wchar_t* arguments : {L"/install", L"/uninstall", L"/install:anything"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(arguments)));
        NewLog();
        ChildProcessResult result;
        ASSERT_NO_FATAL_FAILURE(Run(arguments, result));
        EXPECT_EQ(0u, result.exitCode);
        const std::wstring normalised = std::wstring(L" ") + arguments;
        ExpectLog(result.processId, {StartLine(normalised), ExitLine(normalised, L"0x00000000")});
    }
}

TEST_F(EndToEnd, WinesNetworkConfigurationRefusalIsReportedByTheStageThatMetIt) {
    const LineCase cases[] = {
        {L"/install /net:x", L" /install /net:x",
         L"error Unable to install the network adapter 'x' with error 0x80004001!", 0x80004001,
         L"0x80004001"},
        {L"/netservice:x /install", L" /install /netservice:x",
         L"error Unable to install the network service 'x' with error 0x80004001!", 0x80004001,
         L"0x80004001"},
        {L"/uninstall /catalog:none.cat /netservice:y /net:x",
         L" /catalog:none.cat /net:x /netservice:y /uninstall",
         L"fatal Unable to uninstall the network adapter 'x' with error 0x80004001! Aborting!",
         0x80004001, L"0x80004001"},
        {L"/uninstall /netservice:y", L" /netservice:y /uninstall",
         L"fatal Unable to uninstall a network service 'y' with error 0x80004001! Aborting!",
         0x80004001, L"0x80004001"},
    };
    for (const LineCase& c : cases)
        ExpectOneLineBetweenStartAndExit(c);
}

TEST_F(EndToEnd, SamplePackageIsInstalledThenHandedToTheRemovalByItsCatalog) {
    const std::wstring sample = WindowsPath(PINEWICK_SAMPLE_INF);
    ChildProcessResult install;
    ASSERT_NO_FATAL_FAILURE(Run(L"/install \"" + sample + L"\"", install));
    EXPECT_EQ(0u, install.exitCode);
    // The INF's success line is at level debug, below the log's threshold.
    const std::wstring installed = L" /install \"" + sample + L"\"";
    ExpectLog(install.processId, {StartLine(installed), ExitLine(installed, L"0x00000000")});
    EXPECT_TRUE(Exists(InfFolder() + L"pinewick-sample.inf"));

    // Wine's SetupUninstallOEMInfW deletes nothing; it names each INF it is given on its
    // fixme channel, in the standard error this process shares with its children.
    std::wstring errorFile;
    ASSERT_NO_FATAL_FAILURE(StandardErrorFile(errorFile));
    const std::string errorsBefore = ReadAll(errorFile);
    NewLog();
    ChildProcessOptions options;
    options.environment = {{L"WINEDEBUG", L"-all,fixme+setupapi"}};
    ChildProcessResult uninstall;
    ASSERT_NO_FATAL_FAILURE(Run(L"/uninstall /catalog:PINEWICK-Sample.CAT", uninstall, options));
    EXPECT_EQ(0u, uninstall.exitCode);
    const std::wstring removed = L" /catalog:PINEWICK-Sample.CAT /uninstall";
    ExpectLog(uninstall.processId, {StartLine(removed), ExitLine(removed, L"0x00000000")});

    const std::string errors = ReadAll(errorFile).substr(errorsBefore.size());
    std::vector<std::string> handed;
    size_t start = 0;
    while (start < errors.size()) {
        size_t end = errors.find('\n', start);
        end = end == std::string::npos ? errors.size() : end;
        std::string line = errors.substr(start, end - start);
        if (line.find("SetupUninstallOEMInfW") != std::string::npos)
            handed.push_back(line);
        start = end + 1;
    }
    ASSERT_EQ(1u, handed.size()) << errors;
    std::string lower = handed[0];
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(c)); });
    EXPECT_NE(std::string::npos,
              lower.find(R"(not deleting l"c:\\windows\\inf\\pinewick-sample.inf")"))
        << handed[0];
}

TEST_F(EndToEnd, TheSecondOfThreeInfFilesFailsAndEndsTheInstall) {
    const std::wstring first = folder_ + stem_ + L"-first.inf";
    const std::wstring second = folder_ + stem_ + L"-second.inf";
    const std::wstring third = folder_ + stem_ + L"-third.inf";
    ASSERT_TRUE(WriteAscii(first, SimpleInf));
    ASSERT_TRUE(WriteAscii(third, SimpleInf + "; the third\r\n"));
    DeleteFileW((InfFolder() + stem_ + L"-third.inf").c_str());

    ChildProcessResult result;
    ASSERT_NO_FATAL_FAILURE(
        Run(L"/install /netservice:x \"" + first + L"\" \"" + second + L"\" \"" + third + L"\"",
            result));

    const bool firstCopied = Exists(InfFolder() + stem_ + L"-first.inf");
    const bool thirdCopied = Exists(InfFolder() + stem_ + L"-third.inf");
    for (const wchar_t* copy : {L"-first.inf", L"-first.pnf", L"-third.inf", L"-third.pnf"})
        DeleteFileW((InfFolder() + stem_ + copy).c_str());

    EXPECT_EQ(0x80070002u, result.exitCode);
    const std::wstring normalised =
        L" /install /netservice:x \"" + first + L"\" \"" + second + L"\" \"" + third + L"\"";
    ExpectLog(result.processId, {StartLine(normalised),
                                 L"fatal Unable to install the INF file '" + second +
                                     L"' with error 0x80070002! Aborting!",
                                 ExitLine(normalised, L"0x80070002")});
    EXPECT_TRUE(firstCopied);
    EXPECT_FALSE(thirdCopied);
}

TEST_F(EndToEnd, LogFileIsUtf16LeWithOneByteOrderMarkAcrossRuns) {
    ChildProcessResult first;
    ASSERT_NO_FATAL_FAILURE(Run(L"/install", first));
    ChildProcessResult second;
    ASSERT_NO_FATAL_FAILURE(Run(L"/uninstall", second));

    // ReadLog checks the mark, the CR LF ends and every line's layout.
    std::vector<LogLine> lines;
    ASSERT_NO_FATAL_FAILURE(ReadLog(lines));
    ASSERT_EQ(4u, lines.size());
    const DWORD processIds[] = {first.processId, first.processId, second.processId,
                                second.processId};
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(processIds[i], lines[i].processId);
        EXPECT_EQ(L"info", lines[i].level);
    }
    // With ids of five digits or fewer, 53 characters come before the message.
    if (first.processId < 100000) {
        EXPECT_EQ(53u, lines[0].text.find(L"Pinewick is starting"));
    }
}

TEST_F(EndToEnd, LauncherPrintsTheWholeExitCodeAndReturnsItsLowBits) {
    struct Case {
        const wchar_t* arguments;
        const char* printed;
        DWORD exitCode;
    } cases[] = {
        {L" /install /uninstall", "0x800700a0", 0xA0},
        {L" /install", "0x00000000", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.arguments)));
        NewLog();
        ChildProcessOptions options;
        options.captureOutput = true;
        ChildProcessResult result;
        ASSERT_EQ(0u, RunChildProcess(Launcher + L" " + Program + c.arguments, options, result));
        EXPECT_EQ(c.exitCode, result.exitCode);
        std::string printed = result.standardOutput;
        while (!printed.empty() && (printed.back() == '\n' || printed.back() == '\r'))
            printed.pop_back();
        EXPECT_EQ(c.printed, printed);

        // The launched command line arrives as written.
        std::vector<LogLine> lines;
        ASSERT_NO_FATAL_FAILURE(ReadLog(lines));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(StartLine(c.arguments), L"info " + lines[0].message);
    }
}

} // namespace
