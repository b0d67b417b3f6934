#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "app/ProductFolders.h"

namespace {

struct FakeFolder {
    static BOOL answer;
    static std::wstring path;
    static int folder;
    static BOOL create;

    static BOOL WINAPI Get(HWND, LPWSTR buffer, int requested, BOOL createIt) {
        folder = requested;
        create = createIt;
        // The caller's buffer holds 520 characters.
        wcsncpy_s(buffer, 520, path.c_str(), _TRUNCATE);
        return answer;
    }
};
BOOL FakeFolder::answer = TRUE;
std::wstring FakeFolder::path;
int FakeFolder::folder = -1;
BOOL FakeFolder::create = TRUE;

TEST(ProductFolders, DataFolderIsTheCommonAppDataFoldersOrvelFolderCutTo260) {
    const std::wstring suffix = L"\\ORVEL Software\\Orvel";
    const std::wstring deep = L"C:\\" + std::wstring(250, L'd');
    const std::wstring deepest = L"C:\\" + std::wstring(515, L'd');
    struct Case {
        BOOL answer;
        std::wstring path;
        std::wstring expected;
    } cases[] = {
        {TRUE, L"C:\\ProgramData", L"C:\\ProgramData" + suffix},
        {TRUE, deep, (deep + suffix).substr(0, 260)},
        {TRUE, deepest, deepest.substr(0, 260)},
        {FALSE, L"C:\\ProgramData", L""},
        // Only TRUE itself is success.
        {2, L"C:\\ProgramData", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.path) + " " + std::to_string(c.answer));
        FakeFolder::answer = c.answer;
        FakeFolder::path = c.path;
        EXPECT_EQ(c.expected, GetProductDataFolder(FakeFolder::Get));
        EXPECT_EQ(CSIDL_COMMON_APPDATA, FakeFolder::folder);
        EXPECT_EQ(FALSE, FakeFolder::create);
    }
}

TEST(ProductFolders, LogFolderOfTheSystemsDataFolderAndOfNone) {
    EXPECT_EQ(L"C:\\ProgramData\\ORVEL Software\\Orvel\\log", GetLogFolder(GetProductDataFolder()));
    EXPECT_EQ(L"\\log", GetLogFolder(L""));
}

} // namespace
