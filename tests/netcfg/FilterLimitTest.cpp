#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ErrorText.h"
#include "common/UniqueResource.h"
#include "log/Logger.h"
#include "netcfg/FilterLimit.h"

namespace {

const wchar_t* const KeyPath = L"SYSTEM\\CurrentControlSet\\Control\\Network";
const wchar_t* const ValueName = L"MaxNumFilters";

struct RawValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

bool KeyExists() {
    UniqueRegKey key;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath, 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

RawValue ReadRaw() {
    RawValue raw;
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath, 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return raw;
    DWORD size = 0;
    if (::RegQueryValueExW(key.Get(), ValueName, nullptr, &raw.type, nullptr, &size) !=
        ERROR_SUCCESS)
        return raw;
    raw.data.resize(size);
    raw.exists =
        ::RegQueryValueExW(key.Get(), ValueName, nullptr, &raw.type,
                           raw.data.empty() ? nullptr : raw.data.data(), &size) == ERROR_SUCCESS;
    raw.data.resize(size);
    return raw;
}

void WriteRaw(DWORD type, const void* data, DWORD size) {
    UniqueRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, KeyPath, 0, nullptr, 0,
                                               KEY_SET_VALUE, nullptr, key.Put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.Get(), ValueName, 0, type,
                                              static_cast<const BYTE*>(data), size));
}

void WriteDword(DWORD value) {
    WriteRaw(REG_DWORD, &value, sizeof value);
}

void DeleteValue() {
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath, 0, KEY_SET_VALUE, key.Put()) == ERROR_SUCCESS)
        ::RegDeleteValueW(key.Get(), ValueName);
}

// Removes the key when it holds nothing but the value; a key with other content is not
// ours to remove.
void DeleteKey() {
    {
        UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath, 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
            return;
        DWORD subKeys = 0;
        DWORD values = 0;
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr,
                                     nullptr, &values, nullptr, nullptr, nullptr, nullptr));
        ASSERT_EQ(0u, subKeys) << "the key holds other content";
        ASSERT_LE(values, ReadRaw().exists ? 1u : 0u) << "the key holds other content";
    }
    ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, KeyPath));
}

void ClearLog() {
    boost::recursive_mutex::scoped_lock lock(g_logger.lock);
    g_logger.records.clear();
}

std::vector<LogRecord> LoggedRecords() {
    boost::recursive_mutex::scoped_lock lock(g_logger.lock);
    return std::vector<LogRecord>(g_logger.records.begin(), g_logger.records.end());
}

// The value is global state of the prefix: the tests hold the MaxNumFilters resource lock
// and put back what they found.
class FilterLimit : public ::testing::Test {
protected:
    void SetUp() override {
        keyExisted_ = KeyExists();
        saved_ = ReadRaw();
        ClearLog();
    }

    void TearDown() override {
        if (saved_.exists) {
            WriteRaw(saved_.type, saved_.data.data(), static_cast<DWORD>(saved_.data.size()));
            return;
        }
        DeleteValue();
        if (!keyExisted_)
            DeleteKey();
    }

    void ExpectOneError(const std::wstring& message) {
        const std::vector<LogRecord> records = LoggedRecords();
        ASSERT_EQ(1u, records.size());
        EXPECT_EQ(LogLevelError, records[0].level);
        EXPECT_STREQ(L"registry", records[0].component.Text());
        EXPECT_EQ(message, records[0].message);
    }

private:
    bool keyExisted_ = false;
    RawValue saved_;
};

TEST_F(FilterLimit, MissingKeyOrValueLeavesTheDefaultWithoutALogLine) {
    for (bool keyMissing : {true, false}) {
        SCOPED_TRACE(keyMissing ? "key missing" : "value missing");
        WriteDword(1);
        DeleteValue();
        if (keyMissing)
            DeleteKey();
        ASSERT_EQ(!keyMissing, KeyExists());

        DWORD value = 8;
        EXPECT_FALSE(GetValueImpl(value));
        EXPECT_EQ(8u, value);
        EXPECT_TRUE(LoggedRecords().empty());
    }
}

TEST_F(FilterLimit, FourByteDwordIsRead) {
    for (DWORD stored : {8u, 0xA1B2C3D4u}) {
        WriteDword(stored);
        DWORD value = 0;
        EXPECT_TRUE(GetValueImpl(value));
        EXPECT_EQ(stored, value);
    }
    EXPECT_TRUE(LoggedRecords().empty());
}

TEST_F(FilterLimit, OtherTypeOrSizeIsInvalidDataAndLogged) {
    const wchar_t text[] = L"8";
    const ULONGLONG quad = 8;
    const BYTE four[] = {8, 0, 0, 0};
    const BYTE eight[] = {8, 0, 0, 0, 0, 0, 0, 0};
    struct Case {
        const char* name;
        DWORD type;
        const void* data;
        DWORD size;
    };
    const Case cases[] = {
        {"REG_SZ", REG_SZ, text, sizeof text},
        {"REG_QWORD", REG_QWORD, &quad, sizeof quad},
        {"REG_BINARY of 4 bytes", REG_BINARY, four, sizeof four},
        {"REG_DWORD of 2 bytes", REG_DWORD, four, 2},
        {"REG_DWORD of 8 bytes", REG_DWORD, eight, sizeof eight},
        {"empty REG_DWORD", REG_DWORD, nullptr, 0},
    };
    const std::wstring expected =
        L"GetValueImpl: cannot get value "
        L"'SYSTEM\\CurrentControlSet\\Control\\Network\\MaxNumFilters', code " +
        ErrorText(ERROR_INVALID_DATA);
    ASSERT_EQ(0u, expected.find(L"GetValueImpl: cannot get value "
                                L"'SYSTEM\\CurrentControlSet\\Control\\Network\\MaxNumFilters'"
                                L", code 13 (0x0000000D) ["));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearLog();
        WriteRaw(c.type, c.data, c.size);
        DWORD value = 8;
        EXPECT_FALSE(GetValueImpl(value));
        EXPECT_EQ(8u, value);
        ExpectOneError(expected);
    }
}

TEST_F(FilterLimit, WriteCreatesAMissingKeyAndReplacesAnyValue) {
    DeleteKey();
    ASSERT_FALSE(KeyExists());
    EXPECT_TRUE(SetValueImpl(9));
    RawValue raw = ReadRaw();
    ASSERT_TRUE(raw.exists);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), raw.type);
    EXPECT_EQ((std::vector<BYTE>{9, 0, 0, 0}), raw.data);

    const wchar_t text[] = L"twelve";
    WriteRaw(REG_SZ, text, sizeof text);
    EXPECT_TRUE(SetValueImpl(0x01020304));
    raw = ReadRaw();
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), raw.type);
    EXPECT_EQ((std::vector<BYTE>{4, 3, 2, 1}), raw.data);
    EXPECT_TRUE(LoggedRecords().empty());
}

// The registry under Wine denies a write only through a handle opened for reading, so the
// key is opened that way here; the other stand-in refuses to open it at all.
HKEY g_handedOut = nullptr;

LONG WINAPI CreateKeyForReading(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                                DWORD options, REGSAM, LPSECURITY_ATTRIBUTES security, PHKEY result,
                                LPDWORD disposition) {
    const LONG status = ::RegCreateKeyExW(key, subKey, reserved, keyClass, options, KEY_QUERY_VALUE,
                                          security, result, disposition);
    g_handedOut = status == ERROR_SUCCESS ? *result : nullptr;
    return status;
}

LONG WINAPI CreateKeyDenied(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                            PHKEY result, LPDWORD) {
    *result = nullptr;
    g_handedOut = nullptr;
    return ERROR_ACCESS_DENIED;
}

TEST_F(FilterLimit, DeniedWriteIsLoggedWithCode5) {
    struct Case {
        const char* name;
        RegCreateKeyFunction createKey;
        DWORD value;
        const wchar_t* shown;
    };
    const Case cases[] = {
        {"set refused", CreateKeyForReading, 9, L"9"},
        {"create refused", CreateKeyDenied, 0xFFFFFFFF, L"-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearLog();
        WriteDword(7);
        EXPECT_FALSE(SetValueImpl(c.value, c.createKey));
        ExpectOneError(std::wstring(L"SetValueImpl: cannot set value 'MaxNumFilters' = '") +
                       c.shown + L"', code " + ErrorText(ERROR_ACCESS_DENIED));
        EXPECT_EQ((std::vector<BYTE>{7, 0, 0, 0}), ReadRaw().data);
        if (g_handedOut) {
            DWORD values = 0;
            EXPECT_EQ(ERROR_INVALID_HANDLE,
                      ::RegQueryInfoKeyW(g_handedOut, nullptr, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, &values, nullptr, nullptr, nullptr, nullptr))
                << "the key handle was left open";
        }
    }
}

} // namespace
