#include "log/LogFile.h"

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "log/LogConfiguration.h"

namespace {

const std::string kByteOrderMark("\xFF\xFE", 2);

std::wstring Line(const wchar_t* message) {
    return std::wstring(L"[13:14:15] [info   ] [pinewick       ] [ 1234:   56] ") + message +
           L"\r\n";
}

class LogFileTest : public ::testing::Test {
protected:
    LogFileTest() : folder(L"logfile") { FakeLogPlatform::Reset(); }

    TempFolder folder;
    const LogComponent component{L"Pinewick"};
};

} // namespace

TEST_F(LogFileTest, CreatedFileStartsWithOneByteOrderMarkAndTheRetainedRecords) {
    const std::wstring path = folder.File(L"new.log");
    Logger logger(FakeLogPlatform::Get());
    LogMessage(logger, LogLevelInfo, component, L"before %d", 1);
    FakeLogPlatform::now = FileTimeOf(2020, 1, 1, 13, 14, 16);
    LogMessage(logger, LogLevelInfo, component, L"before %d", 2);
    FakeLogPlatform::now = FileTimeOf(2020, 1, 1, 13, 14, 15);

    ASSERT_EQ(0u, OpenLogFile(logger, path.c_str()));
    LogMessage(logger, LogLevelInfo, component, L"after");

    std::wstring second = Line(L"before 2");
    second.replace(7, 2, L"16"); // logged a second later, and written with its own time
    EXPECT_EQ(kByteOrderMark + Utf16Bytes(Line(L"before 1") + second + Line(L"after")),
              ReadFileBytes(path));
}

TEST_F(LogFileTest, ExistingFileKeepsItsContentAndGetsNoSecondMark) {
    const std::wstring path = folder.File(L"existing.log");
    WriteFileBytes(path, "old content");
    Logger logger(FakeLogPlatform::Get());
    ASSERT_EQ(0u, OpenLogFile(logger, path.c_str()));
    LogMessage(logger, LogLevelInfo, component, L"new");
    EXPECT_EQ("old content" + Utf16Bytes(Line(L"new")), ReadFileBytes(path));
}

TEST_F(LogFileTest, TwoRunsAppendBehindOneByteOrderMark) {
    const std::wstring path = folder.File(L"runs.log");
    for (const wchar_t* run : {L"run 1", L"run 2"}) {
        Logger logger(FakeLogPlatform::Get());
        ConfigureLogger(logger, path.c_str());
        LogMessage(logger, LogLevelInfo, component, run);
    }
    EXPECT_EQ(kByteOrderMark + Utf16Bytes(Line(L"run 1") + Line(L"run 2")), ReadFileBytes(path));
}

TEST_F(LogFileTest, ReopeningClosesTheFirstFile) {
    const std::wstring first = folder.File(L"first.log");
    const std::wstring second = folder.File(L"second.log");
    Logger logger(FakeLogPlatform::Get());
    ConfigureLogger(logger, first.c_str());
    LogMessage(logger, LogLevelInfo, component, L"one");
    ConfigureLogger(logger, second.c_str());
    LogMessage(logger, LogLevelInfo, component, L"two");

    // The first file is no longer held: it can be deleted, and it got no further line.
    EXPECT_EQ(kByteOrderMark + Utf16Bytes(Line(L"one")), ReadFileBytes(first));
    EXPECT_TRUE(::DeleteFileW(first.c_str()));
    EXPECT_EQ(kByteOrderMark + Utf16Bytes(Line(L"one") + Line(L"two")), ReadFileBytes(second));

    // Opening the same file again adds no second mark.
    ConfigureLogger(logger, second.c_str());
    EXPECT_EQ(kByteOrderMark +
                  Utf16Bytes(Line(L"one") + Line(L"two") + Line(L"one") + Line(L"two")),
              ReadFileBytes(second));
}

TEST_F(LogFileTest, MissingFolderIsLoggedAndRetained) {
    const std::wstring path = folder.File(L"missing\\x.log");
    Logger logger(FakeLogPlatform::Get());
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), OpenLogFile(logger, path.c_str()));
    EXPECT_FALSE(logger.file.IsValid());
    ASSERT_EQ(1u, logger.records.size());
    EXPECT_EQ(L"[13:14:15] [error  ] [logger         ] [ 1234:   56] Failed to open the log file "
              L"\"" +
                  path + L"\" with error 0x00000003!",
              FormatLogLine(logger.records[0]));
    EXPECT_TRUE(FakeLogPlatform::debuggerLines.empty());
}

TEST_F(LogFileTest, NoPathIsABadArgument) {
    Logger logger(FakeLogPlatform::Get());
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_ARGUMENTS), OpenLogFile(logger, nullptr));
    EXPECT_TRUE(logger.records.empty());
}
