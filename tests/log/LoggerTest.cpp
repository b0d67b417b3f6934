#include "log/Logger.h"

#include <gtest/gtest.h>

#include "LogTestSupport.h"

namespace {

class LoggerTest : public ::testing::Test {
protected:
    LoggerTest() : logger(FakeLogPlatform::Get()) { FakeLogPlatform::Reset(); }

    std::wstring LastLine() {
        return logger.records.empty() ? L"<none>" : FormatLogLine(logger.records.back());
    }

    Logger logger;
    const LogComponent component{L"Pinewick"};
};

} // namespace

TEST(LevelFromName, UnknownNamesMeanInfo) {
    struct Case {
        const wchar_t* name;
        LogLevel expected;
    };
    const Case cases[] = {
        {L"trace", 0}, {L"debug", 1}, {L"info", 2}, {L"notice", 3}, {L"Warning", 4}, {L"ERROR", 5},
        {L"fatal", 6}, {L"warn", 2},  {L"", 2},     {L"none", 2},   {nullptr, 2},    {L"fatal ", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name != nullptr ? c.name : L"(null)");
        EXPECT_EQ(c.expected, LevelFromName(c.name));
    }
}

TEST(LogComponent, KeepsTheFirstFifteenCharactersLowerCased) {
    EXPECT_STREQ(L"abcdefghijklmno", LogComponent(L"ABCDEFGHIJKLMNOPQRST").Text());
    EXPECT_STREQ(L"registry", LogComponent(L"REGISTRY").Text());
    EXPECT_STREQ(L"\x00c4x-1", LogComponent(L"\x00c4X-1").Text()); // ASCII rule only
    EXPECT_STREQ(L"MixedCase", LogComponent::CopyOf(L"MixedCase").Text());
}

TEST_F(LoggerTest, WithoutSettingsInfoIsKeptAndDebugIsDropped) {
    LogMessage(logger, LogLevelDebug, component, L"dropped %s", L"x");
    EXPECT_TRUE(logger.records.empty());
    LogMessage(logger, LogLevelInfo, component, L"kept %s", L"x");
    ASSERT_EQ(1u, logger.records.size());
    EXPECT_EQ(L"kept x", logger.records[0].message);
    EXPECT_TRUE(FakeLogPlatform::debuggerLines.empty());
}

TEST_F(LoggerTest, ComponentSectionOverridesDefaultKeyByKey) {
    logger.settings[L"default"][L"level"] = L"error";
    logger.settings[L"default"][L"debugger"] = L"TRUE";
    logger.settings[L"registry"][L"level"] = L"debug";
    const LogComponent registry(L"REGISTRY");

    EXPECT_TRUE(IsLevelEnabled(logger, LogLevelDebug, registry));
    EXPECT_FALSE(IsLevelEnabled(logger, LogLevelWarning, component));
    EXPECT_TRUE(IsLevelEnabled(logger, LogLevelError, component));
    EXPECT_TRUE(IsDebuggerOutputEnabled(logger, registry)); // falls back to "default"

    logger.settings[L"registry"][L"debugger"] = L"yes";
    EXPECT_FALSE(IsDebuggerOutputEnabled(logger, registry));
    logger.settings[L"registry"][L"debugger"] = L"True";
    EXPECT_TRUE(IsDebuggerOutputEnabled(logger, registry));
}

TEST_F(LoggerTest, LevelsOutsideTheTableAreAlwaysOrNeverAccepted) {
    logger.settings[L"default"][L"level"] = L"fatal";
    LogMessage(logger, 7, component, L"above");
    LogMessage(logger, -1, component, L"below");
    logger.settings[L"default"][L"level"] = L"trace";
    LogMessage(logger, -1, component, L"below");
    ASSERT_EQ(1u, logger.records.size());
    EXPECT_EQ(L"[13:14:15] [none   ] [pinewick       ] [ 1234:   56] above", LastLine());
}

TEST_F(LoggerTest, LineLayout) {
    struct Case {
        LogLevel level;
        const wchar_t* tag;
        DWORD processId;
        DWORD threadId;
        const wchar_t* format;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {LogLevelInfo, L"Pinewick", 1234, 56, L"Pinewick is starting with command line '%s'.",
         L"[13:14:15] [info   ] [pinewick       ] [ 1234:   56] Pinewick is starting with "
         L"command line '\"C:\\p.exe\"'."},
        {LogLevelWarning, L"ABCDEFGHIJKLMNOPQRST", 99999, 1, L"no conversions",
         L"[13:14:15] [warning] [abcdefghijklmno] [99999:    1] no conversions"},
        // A six-digit process id takes the room it needs; the fields before it stay in place.
        {LogLevelError, L"logger", 123456, 7, L"x",
         L"[13:14:15] [error  ] [logger         ] [123456:    7] x"},
        // Nothing to print: the line ends with the blank after the ids.
        {LogLevelFatal, L"registry", 4, 5, L"",
         L"[13:14:15] [fatal  ] [registry       ] [    4:    5] "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        FakeLogPlatform::processId = c.processId;
        FakeLogPlatform::threadId = c.threadId;
        LogMessage(logger, c.level, LogComponent(c.tag), c.format, L"\"C:\\p.exe\"");
        EXPECT_EQ(c.expected, LastLine());
    }
    // With ids of up to five digits every message starts in the same column, after 53 characters.
    EXPECT_EQ(53u, std::wstring(cases[0].expected).find(L"Pinewick is"));
}

TEST_F(LoggerTest, TimeOfDayIsTheRecordsUtcTime) {
    LogRecord record = {};
    record.time = FileTimeOf(2026, 12, 11, 23, 59, 7);
    EXPECT_EQ(L"23:59:07", FormatTimeOfDay(record));
    record.time.dwHighDateTime = 0x80000000; // beyond what the conversion accepts
    EXPECT_EQ(L"00:00:00", FormatTimeOfDay(record));
}

TEST_F(LoggerTest, MissingFormatGivesAnEmptyMessage) {
    LogMessage(logger, LogLevelInfo, component, nullptr);
    ASSERT_EQ(1u, logger.records.size());
    EXPECT_EQ(L"", logger.records[0].message);
}

TEST_F(LoggerTest, FailedFileWriteReachesTheDebuggerExactlyOnce) {
    TempFolder folder(L"logger-write");
    logger.file.Reset(::CreateFileW(folder.File(L"log.txt").c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(logger.file.IsValid());
    FakeLogPlatform::failWrites = true;

    LogMessage(logger, LogLevelInfo, component, L"first");
    ASSERT_EQ(1u, FakeLogPlatform::debuggerLines.size());
    EXPECT_EQ(L"[13:14:15] [info   ] [pinewick       ] [ 1234:   56] first\r\n",
              FakeLogPlatform::debuggerLines[0]);

    logger.settings[L"default"][L"debugger"] = L"true";
    LogMessage(logger, LogLevelInfo, component, L"second");
    EXPECT_EQ(2u, FakeLogPlatform::debuggerLines.size());

    // Writes that succeed keep the debugger quiet while its switch is off.
    logger.settings[L"default"][L"debugger"] = L"false";
    FakeLogPlatform::failWrites = false;
    LogMessage(logger, LogLevelInfo, component, L"third");
    EXPECT_EQ(2u, FakeLogPlatform::debuggerLines.size());
    logger.file.Reset();
    EXPECT_EQ(Utf16Bytes(L"[13:14:15] [info   ] [pinewick       ] [ 1234:   56] third\r\n"),
              ReadFileBytes(folder.File(L"log.txt")));
}

TEST(Logger, ProcessLoggerUsesTheSystemClockAndIds) {
    Logger logger;
    LogMessage(logger, LogLevelInfo, LogComponent(L"x"), L"m");
    ASSERT_EQ(1u, logger.records.size());
    EXPECT_EQ(::GetCurrentProcessId(), logger.records[0].processId);
    EXPECT_EQ(::GetCurrentThreadId(), logger.records[0].threadId);
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER a = {{now.dwLowDateTime, now.dwHighDateTime}};
    ULARGE_INTEGER b = {
        {logger.records[0].time.dwLowDateTime, logger.records[0].time.dwHighDateTime}};
    EXPECT_LT(a.QuadPart - b.QuadPart, 10ull * 1000 * 1000 * 60); // within a minute
}
