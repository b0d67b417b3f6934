#include "log/LogConfiguration.h"

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "SavedRegistryValue.h"
#include "common/UniqueResource.h"

namespace {

const wchar_t kTestKey[] = L"Software\\Pinewick Tests\\LogConfiguration";
const wchar_t kProductKey[] = L"Software\\ORVEL Software\\Orvel";

// A key of the test's own in the 32-bit view, deleted at the end.
class RegistryKey {
public:
    explicit RegistryKey(const wchar_t* path) : path_(path) {
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                          nullptr, key_.Put(), nullptr);
    }
    ~RegistryKey() {
        key_.Reset();
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path_, KEY_WOW64_32KEY, 0);
    }
    void Set(const wchar_t* name, DWORD type, const std::wstring& text) {
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegSetValueExW(key_.Get(), name, 0, type,
                                   reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
    }
    void SetRaw(const wchar_t* name, const void* data, DWORD size) {
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key_.Get(), name, 0, REG_SZ,
                                                  static_cast<const BYTE*>(data), size));
    }

private:
    const wchar_t* path_;
    UniqueRegKey key_;
};

// The product's SetupLog value. The product's key is shared with other tests and programs
// ("ProgramFolder" lives there too), so only this value is changed and put back.
class SetupLogValue : public SavedRegistryValue {
public:
    SetupLogValue() : SavedRegistryValue(kProductKey, L"SetupLog", KEY_WOW64_32KEY) {}
};

} // namespace

TEST(ReadRegistryString, ReadsOnlyStringValues) {
    RegistryKey key(kTestKey);
    key.Set(L"Text", REG_SZ, L"C:\\log\\setup.log");
    key.Set(L"Empty", REG_SZ, L"");
    key.Set(L"Expand", REG_EXPAND_SZ, L"%TEMP%\\setup.log");
    const wchar_t unterminated[] = {L'a', L'b', L'c'};
    key.SetRaw(L"Unterminated", unterminated, sizeof(unterminated));

    struct Case {
        const wchar_t* subKey;
        const wchar_t* value;
        LONG status;
        const wchar_t* text;
    };
    const Case cases[] = {
        {kTestKey, L"Text", ERROR_SUCCESS, L"C:\\log\\setup.log"},
        {kTestKey, L"Empty", ERROR_SUCCESS, L""},
        {kTestKey, L"Expand", ERROR_SUCCESS, L"unchanged"}, // counts as absent
        {kTestKey, L"Unterminated", ERROR_SUCCESS, L"abc"},
        {kTestKey, L"Missing", ERROR_FILE_NOT_FOUND, L"unchanged"},
        {L"Software\\Pinewick Tests\\No Such Key", L"Text", ERROR_FILE_NOT_FOUND, L"unchanged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        std::wstring out = L"unchanged";
        EXPECT_EQ(c.status, ReadRegistryString(HKEY_LOCAL_MACHINE, c.subKey, c.value, out));
        EXPECT_EQ(c.text, out);
    }
}

TEST(ReadRegistryString, NoSubKeyReadsTheRootItself) {
    RegistryKey key(kTestKey);
    key.Set(L"Text", REG_SZ, L"root value");
    UniqueRegKey root;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0,
                                             KEY_QUERY_VALUE | KEY_WOW64_32KEY, root.Put()));
    std::wstring out;
    EXPECT_EQ(ERROR_SUCCESS, ReadRegistryString(root.Get(), nullptr, L"Text", out));
    EXPECT_EQ(L"root value", out);
}

TEST(InitLogging, SetupLogNamesTheFileThatGetsInfoAndAbove) {
    TempFolder folder(L"initlogging");
    const std::wstring path = folder.File(L"setup.log");
    SetupLogValue setupLog;
    setupLog.SetString(path);

    InitLogging();
    const LogComponent any(L"anything");
    LogMessage(g_logger, LogLevelDebug, any, L"dropped");
    LogMessage(g_logger, LogLevelInfo, any, L"kept %s", L"\x00e4");
    EXPECT_FALSE(IsDebuggerOutputEnabled(g_logger, any));

    const std::string bytes = ReadFileBytes(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(std::string("\xFF\xFE", 2), bytes.substr(0, 2));
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2),
                            (bytes.size() - 2) / sizeof(wchar_t));
    EXPECT_EQ(std::wstring::npos, text.find(L"dropped"));
    EXPECT_NE(std::wstring::npos, text.find(L"] kept \x00e4\r\n"));
    g_logger.file.Reset();
}

TEST(InitLogging, UnusableSetupLogMeansNoFile) {
    TempFolder folder(L"initlogging-unusable");
    struct Case {
        DWORD type;
        std::wstring path;
        size_t records; // the open failure is retained as a record
    };
    const Case cases[] = {
        {REG_SZ, L"", 0},
        {REG_EXPAND_SZ, folder.File(L"expand.log"), 0},
        {REG_SZ, folder.File(L"no folder\\setup.log"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        SetupLogValue setupLog;
        setupLog.SetString(c.path, c.type);
        g_logger.settings.clear();
        g_logger.records.clear();
        InitLogging();
        EXPECT_FALSE(g_logger.file.IsValid());
        EXPECT_EQ(c.records, g_logger.records.size());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(c.path.c_str()));
    }
}
