#include "crashguard/CrashLog.h"
#include "crashguard/Minidump.h"

#include <gtest/gtest.h>

TEST(CrashGuardNames, DumpNameJoinsTheHalvesOfTheTimeInDecimal) {
    struct Case {
        DWORD high;
        DWORD low;
        const wchar_t* name;
    };
    const Case cases[] = {
        {0x01D5C036, 0x69050000, L"unp307855901761935360.mdmp"}, // 2020-01-01 00:00:00 UTC
        {0, 0, L"unp00.mdmp"},
        {0xFFFFFFFF, 0xFFFFFFFF, L"unp42949672954294967295.mdmp"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << row.high << "_" << row.low);
        wchar_t name[kDumpPathCharacters];
        ASSERT_TRUE(FormatDumpName(FILETIME{row.low, row.high}, name));
        EXPECT_STREQ(name, row.name);
    }
}

TEST(CrashGuardNames, CrashLogPathAddsOneBackslashWhereNeeded) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* path;
    };
    const Case cases[] = {
        {L"C:\\ProgramData\\ORVEL Software\\Orvel\\log",
         L"C:\\ProgramData\\ORVEL Software\\Orvel\\log\\crash.log"},
        {L"C:\\ProgramData\\ORVEL Software\\Orvel\\log\\",
         L"C:\\ProgramData\\ORVEL Software\\Orvel\\log\\crash.log"},
        {L"", L"crash.log"},
        {L"C:\\", L"C:\\crash.log"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(testing::Message() << "folder '" << row.folder << "'");
        EXPECT_EQ(FormCrashLogPath(row.folder), row.path);
    }
}
