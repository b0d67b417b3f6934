#include "driverstore/CatalogUninstaller.h"

#include <setupapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <set>

#include "log/Logger.h"
#include "tests/driverstore/DriverStoreTestFiles.h"

namespace {

struct Handover {
    std::wstring name;
    DWORD flags;
    PVOID reserved;
    DWORD attributes; // of the INF at the moment it is handed over
};

// What the walk hands to the two system-changing calls, and the failures to answer with.
struct Calls {
    std::vector<std::wstring> attributesSet;
    std::vector<Handover> uninstalls;
    std::wstring failAttributesOf;
    DWORD attributesError = 0;
    std::wstring failUninstallOf;
    DWORD uninstallError = 0;
};
Calls calls;

std::wstring FileNameOf(const std::wstring& path) {
    return path.substr(path.find_last_of(L'\\') + 1);
}

BOOL WINAPI RecordSetAttributes(LPCWSTR path, DWORD attributes) {
    calls.attributesSet.push_back(path);
    if (FileNameOf(path) == calls.failAttributesOf) {
        SetLastError(calls.attributesError);
        return FALSE;
    }
    return SetFileAttributesW(path, attributes);
}

BOOL WINAPI RecordUninstall(PCWSTR name, DWORD flags, PVOID reserved) {
    calls.uninstalls.push_back(
        {name, flags, reserved, GetFileAttributesW((WindowsInfFolder() + name).c_str())});
    if (name == calls.failUninstallOf) {
        SetLastError(calls.uninstallError);
        return FALSE;
    }
    return TRUE;
}

struct Record {
    LogLevel level;
    std::wstring component;
    std::wstring message;
};

bool operator==(const Record& a, const Record& b) {
    return a.level == b.level && a.component == b.component && a.message == b.message;
}

std::ostream& operator<<(std::ostream& out, const Record& r) {
    return out << r.level << " [" << testing::PrintToString(r.component) << "] "
               << testing::PrintToString(r.message);
}

std::vector<Record> LoggedRecords() {
    boost::recursive_mutex::scoped_lock lock(g_logger.lock);
    std::vector<Record> records;
    for (const LogRecord& r : g_logger.records)
        records.push_back({r.level, r.component.Text(), r.message});
    return records;
}

class CatalogUninstaller : public testing::Test {
protected:
    void SetUp() override {
        {
            boost::recursive_mutex::scoped_lock lock(g_logger.lock);
            g_logger.records.clear();
        }
        calls = Calls();
        g_setInfFileAttributes = RecordSetAttributes;
        g_uninstallOemInf = RecordUninstall;
        catalog_ = UniqueName(L"driver.cat");
    }

    void TearDown() override {
        g_setInfFileAttributes = SetFileAttributesW;
        g_uninstallOemInf = SetupUninstallOEMInfW;
    }

    // Writes <unique>-<suffix>.inf into the Inf folder with the given [Version] lines.
    std::wstring AddInf(const std::wstring& suffix, const std::vector<std::wstring>& lines) {
        const std::wstring name = UniqueName(suffix) + L".inf";
        cleanup_.File(WindowsInfFolder() + name);
        EXPECT_TRUE(WriteTextFile(WindowsInfFolder() + name, InfText(lines)));
        return name;
    }

    // The given names in the order the platform's search of the Inf folder delivers them.
    static std::vector<std::wstring> InSearchOrder(const std::set<std::wstring>& names) {
        std::vector<std::wstring> ordered;
        WIN32_FIND_DATAW found;
        const UniqueFindHandle search(
            FindFirstFileW((WindowsInfFolder() + L"*.inf").c_str(), &found));
        if (!search)
            return ordered;
        do {
            if (names.count(found.cFileName) != 0)
                ordered.push_back(found.cFileName);
        } while (FindNextFileW(search.Get(), &found));
        return ordered;
    }

    static std::vector<std::wstring> AttributeResetNames() {
        std::vector<std::wstring> names;
        for (const std::wstring& path : calls.attributesSet)
            names.push_back(FileNameOf(path));
        return names;
    }

    static std::vector<std::wstring> UninstalledNames() {
        std::vector<std::wstring> names;
        for (const Handover& h : calls.uninstalls)
            names.push_back(h.name);
        return names;
    }

    Cleanup cleanup_;
    std::wstring catalog_;
};

std::wstring Upper(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), towupper);
    return text;
}

} // namespace

TEST_F(CatalogUninstaller, HandsOverEveryInfThatNamesTheCatalogInSearchOrder) {
    const std::wstring exact = AddInf(L"exact", {L"CatalogFile=" + catalog_});
    const std::wstring upper = AddInf(L"upper", {L"CatalogFile=" + Upper(catalog_)});
    AddInf(L"decorated", {L"CatalogFile.NTx86=" + catalog_});
    AddInf(L"other", {L"CatalogFile=" + UniqueName(L"other.cat")});
    AddInf(L"none", {});

    EXPECT_EQ(S_OK, UninstallByCatalog(catalog_));

    const std::vector<std::wstring> expected = InSearchOrder({exact, upper});
    ASSERT_EQ(2u, expected.size());
    EXPECT_EQ(expected, UninstalledNames());
    EXPECT_EQ(expected, AttributeResetNames());
    for (const Handover& h : calls.uninstalls) {
        SCOPED_TRACE(testing::PrintToString(h.name));
        EXPECT_EQ(0u, h.flags); // a package in use is not forced out
        EXPECT_EQ(nullptr, h.reserved);
    }
    EXPECT_TRUE(LoggedRecords().empty());
}

TEST_F(CatalogUninstaller, NamesThatAreNotAWholeValueMatchNothing) {
    AddInf(L"exact", {L"CatalogFile=" + catalog_});
    AddInf(L"decorated", {L"CatalogFile.NTx86=" + UniqueName(L"decorated.cat")});
    AddInf(L"none", {});

    const std::wstring cases[] = {
        UniqueName(L"nobody.cat"),
        L"C:\\pkg\\" + catalog_,
        UniqueName(L"decorated.cat"),
        catalog_ + L".bak",
        // A NUL hides the rest of the name from a C string comparison.
        catalog_ + std::wstring(1, L'\0') + L"x",
        std::wstring(1, L'\0'),
    };
    for (const std::wstring& name : cases) {
        SCOPED_TRACE(testing::PrintToString(name));
        calls = Calls();
        EXPECT_EQ(S_OK, UninstallByCatalog(name));
        EXPECT_TRUE(calls.uninstalls.empty());
        EXPECT_TRUE(calls.attributesSet.empty());
        EXPECT_TRUE(LoggedRecords().empty());
    }
}

TEST_F(CatalogUninstaller, ResetsAReadOnlyInfBeforeHandingItOver) {
    const std::wstring name = AddInf(L"readonly", {L"CatalogFile=" + catalog_});
    ASSERT_TRUE(SetFileAttributesW((WindowsInfFolder() + name).c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    EXPECT_EQ(S_OK, UninstallByCatalog(catalog_));

    ASSERT_EQ(std::vector<std::wstring>({name}), UninstalledNames());
    const DWORD marks = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, calls.uninstalls[0].attributes);
    EXPECT_EQ(0u, calls.uninstalls[0].attributes & marks);
    EXPECT_TRUE(LoggedRecords().empty());
}

TEST_F(CatalogUninstaller, LogsPackagesItCannotResetOrRemoveAndGoesOn) {
    const std::wstring inUse = AddInf(L"1-inuse", {L"CatalogFile=" + catalog_});
    const std::wstring locked = AddInf(L"2-locked", {L"CatalogFile=" + catalog_});
    const std::wstring plain = AddInf(L"3-plain", {L"CatalogFile=" + catalog_});
    calls.failUninstallOf = inUse;
    calls.uninstallError = ERROR_INF_IN_USE_BY_DEVICES;
    calls.failAttributesOf = locked;
    calls.attributesError = ERROR_ACCESS_DENIED;
    const std::wstring given = Upper(catalog_);

    EXPECT_EQ(S_OK, UninstallByCatalog(given));

    const std::vector<std::wstring> order = InSearchOrder({inUse, locked, plain});
    ASSERT_EQ(3u, order.size());
    EXPECT_EQ(order, UninstalledNames());
    std::vector<Record> expected;
    for (const std::wstring& name : order) {
        if (name == locked)
            expected.push_back(
                {LogLevelNotice, L"pinewick",
                 L"Unable to reset attributes on '" + name + L"' with error 0x00000005!"});
        if (name == inUse)
            expected.push_back({LogLevelWarning, L"pinewick",
                                L"Unable to uninstall the INF file '" + name +
                                    L"' assocaited with the catalog file '" + given +
                                    L"' with error 0xe000023d!"});
    }
    EXPECT_EQ(expected, LoggedRecords());
}

// Every INF without a CatalogFile key reads as the empty name: an empty name would remove
// packages nobody named.
TEST_F(CatalogUninstaller, RefusesAnEmptyNameAndTouchesNothing) {
    AddInf(L"none", {});

    EXPECT_EQ(E_INVALIDARG, UninstallByCatalog(L""));

    EXPECT_TRUE(calls.uninstalls.empty());
    EXPECT_TRUE(calls.attributesSet.empty());
    const std::vector<Record> expected = {
        {LogLevelError, L"pinewick",
         L"Unable to uninstall the driver packages of an empty catalog file name with error "
         L"0x80070057!"}};
    EXPECT_EQ(expected, LoggedRecords());
}
