#include "driverstore/InfInstaller.h"

#include <setupapi.h>

#include <gtest/gtest.h>

#include "tests/driverstore/DriverStoreTestFiles.h"

namespace {

const HRESULT PathNotFound = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
const HRESULT FileNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

// Under Wine a first copy keeps the INF's own name (Windows would pick oemN.inf), so a test
// sees its package in the Inf folder under the name it gave it.
std::wstring StoreCopyOf(const std::wstring& stem) {
    return WindowsInfFolder() + stem + L".inf";
}

// An INF named <stem>.inf and its catalog <stem>.cat in `folder`.
void WritePackage(Cleanup& cleanup, const std::wstring& folder, const std::wstring& stem) {
    cleanup.File(folder + stem + L".inf");
    cleanup.File(folder + stem + L".cat");
    ASSERT_TRUE(
        WriteTextFile(folder + stem + L".inf", InfText({L"CatalogFile=" + stem + L".cat"})));
    ASSERT_TRUE(WriteTextFile(folder + stem + L".cat", L"catalog"));
}

class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::wstring& folder) {
        GetCurrentDirectoryW(MAX_PATH, saved_);
        EXPECT_TRUE(SetCurrentDirectoryW(folder.c_str()));
    }
    ~CurrentDirectory() { SetCurrentDirectoryW(saved_); }

private:
    wchar_t saved_[MAX_PATH] = {};
};

} // namespace

TEST(SourceMediaLocation, IsTheFoldersDriveAndDirectoryWithTrailingBackslash) {
    const std::wstring dir253(253, L'd');
    struct Case {
        std::wstring path;
        HRESULT result;
        std::wstring location;
    };
    const Case cases[] = {
        {L"C:\\Drivers\\x86\\net.inf", S_OK, L"C:\\Drivers\\x86\\"},
        {L"C:\\net.inf", S_OK, L"C:\\"},
        {L"\\\\server\\share\\pkg\\net.inf", S_OK, L"\\\\server\\share\\pkg\\"},
        // What an empty path resolves to: the last folder counts as the file name.
        {L"C:\\setup\\pkg", S_OK, L"C:\\setup\\"},
        // The directory part holds at most 255 characters, both backslashes included.
        {L"C:\\" + dir253 + L"\\net.inf", S_OK, L"C:\\" + dir253 + L"\\"},
        {L"C:\\" + dir253 + L"d\\net.inf", E_INVALIDARG, L"unchanged"},
        {L"\\\\server\\" + dir253 + L"\\net.inf", E_INVALIDARG, L"unchanged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.path.size() << " characters");
        std::wstring location = L"unchanged";
        EXPECT_EQ(c.result, GetSourceMediaLocation(c.path.c_str(), location));
        EXPECT_EQ(c.location, location);
    }
}

TEST(InfInstaller, CopiesAnAbsolutePathIntoTheInfFolder) {
    Cleanup cleanup;
    const std::wstring folder = MakeScratchFolder(cleanup);
    const std::wstring stem = UniqueName(L"net");
    WritePackage(cleanup, folder, stem);
    cleanup.StoreCopy(stem);

    ASSERT_EQ(S_OK, InstallInf(folder + stem + L".inf"));

    std::string original, copy;
    ASSERT_TRUE(ReadTextFile(folder + stem + L".inf", original));
    ASSERT_TRUE(ReadTextFile(StoreCopyOf(stem), copy));
    EXPECT_EQ(original, copy);
    EXPECT_TRUE(FileExists(CatalogRootFolder() + stem + L".cat"));
}

// SetupCopyOEMInfW does not resolve a relative path itself: the copy succeeds only when the
// path was made absolute first.
TEST(InfInstaller, ResolvesARelativePathAgainstTheCurrentDirectory) {
    Cleanup cleanup;
    const std::wstring folder = MakeScratchFolder(cleanup);
    ASSERT_TRUE(CreateDirectoryW((folder + L"drivers").c_str(), nullptr));
    cleanup.Folder(folder + L"drivers");
    const std::wstring stem = UniqueName(L"net");
    WritePackage(cleanup, folder + L"drivers\\", stem);
    cleanup.StoreCopy(stem);

    const CurrentDirectory current(folder);
    EXPECT_EQ(S_OK, InstallInf(L"drivers\\" + stem + L".inf"));
    EXPECT_TRUE(FileExists(StoreCopyOf(stem)));
}

TEST(InfInstaller, ReturnsTheFailureOfTheCopyOrOfThePath) {
    Cleanup cleanup;
    const std::wstring folder = MakeScratchFolder(cleanup);

    const std::wstring noCatalog = UniqueName(L"nocatalog");
    cleanup.File(folder + noCatalog + L".inf");
    ASSERT_TRUE(WriteTextFile(folder + noCatalog + L".inf",
                              InfText({L"CatalogFile=" + noCatalog + L".cat"})));
    const std::wstring notInf = UniqueName(L"notinf");
    cleanup.File(folder + notInf + L".inf");
    ASSERT_TRUE(WriteTextFile(folder + notInf + L".inf", L"text before any section\r\n"));

    struct Case {
        const char* what;
        std::wstring stem;
        std::wstring path;
        HRESULT result;
    };
    const Case cases[] = {
        {"missing INF", L"", folder + UniqueName(L"missing") + L".inf", FileNotFound},
        {"missing folder", L"", folder + L"nowhere\\" + UniqueName(L"net") + L".inf", PathNotFound},
        {"catalog missing beside the INF", noCatalog, folder + noCatalog + L".inf", FileNotFound},
        // SetupAPI's own codes have the top bits set and pass through unchanged.
        {"no section before the first line", notInf, folder + notInf + L".inf",
         static_cast<HRESULT>(ERROR_EXPECTED_SECTION_NAME)},
        // Wine's runtime resolves into a buffer of MAX_PATH characters only.
        {"too long to resolve", L"", folder + std::wstring(MAX_PATH, L'x') + L".inf", PathNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.result, InstallInf(c.path));
        if (!c.stem.empty()) {
            cleanup.StoreCopy(c.stem);
            EXPECT_FALSE(FileExists(StoreCopyOf(c.stem)));
        }
    }
}

// A path of 259 characters resolves, so the directory limit can be reached for real: a
// directory part of 255 characters goes to the copy (which rejects the file's text), one of
// 256 is refused before it.
TEST(InfInstaller, RefusesADirectoryPartOf256CharactersBeforeTheCopy) {
    Cleanup cleanup;
    const std::wstring name = UniqueName(L"");
    struct Case {
        size_t directoryLength;
        HRESULT result;
    };
    const Case cases[] = {
        {255, static_cast<HRESULT>(ERROR_EXPECTED_SECTION_NAME)},
        {256, E_INVALIDARG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directoryLength);
        // The directory part is "\" + the folder's name + "\"; the file is "x".
        const std::wstring folder =
            L"C:\\" + name + std::wstring(c.directoryLength - 2 - name.size(), L'd');
        const std::wstring path = folder + L"\\x";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        cleanup.Folder(folder);
        cleanup.File(path);
        ASSERT_TRUE(WriteTextFile(path, L"text before any section\r\n"));

        EXPECT_EQ(c.result, InstallInf(path));
    }
}

// An empty path is the current directory: C:\...\scratch\pkg is offered as the INF, from the
// media location C:\...\scratch\, and Wine refuses to copy a folder.
TEST(InfInstaller, CopiesTheCurrentDirectoryForAnEmptyPath) {
    Cleanup cleanup;
    const std::wstring folder = MakeScratchFolder(cleanup);
    ASSERT_TRUE(CreateDirectoryW((folder + L"pkg").c_str(), nullptr));
    cleanup.Folder(folder + L"pkg");

    const CurrentDirectory current(folder + L"pkg");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), InstallInf(L""));
}

// Wine serves \\server\share from the prefix's dosdevices\unc\server\share folder, which a
// Windows program reaches through drive Z: (the Unix root).
TEST(InfInstaller, CopiesFromAUncPath) {
    wchar_t prefix[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || prefix[0] != L'/')
        GTEST_SKIP() << "needs a Wine prefix to serve a share from";
    std::wstring unc = L"Z:" + std::wstring(prefix, length) + L"\\dosdevices\\unc";
    for (wchar_t& c : unc)
        if (c == L'/')
            c = L'\\';

    Cleanup cleanup;
    const std::wstring server = UniqueName(L"server");
    const std::wstring unixFolders[] = {unc, unc + L"\\" + server,
                                        unc + L"\\" + server + L"\\share",
                                        unc + L"\\" + server + L"\\share\\pkg"};
    for (const std::wstring& folder : unixFolders) {
        if (CreateDirectoryW(folder.c_str(), nullptr))
            cleanup.Folder(folder);
        else
            ASSERT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError()) << "folder";
    }
    const std::wstring stem = UniqueName(L"net");
    WritePackage(cleanup, unixFolders[3] + L"\\", stem);
    cleanup.StoreCopy(stem);

    EXPECT_EQ(S_OK, InstallInf(L"\\\\" + server + L"\\share\\pkg\\" + stem + L".inf"));
    EXPECT_TRUE(FileExists(StoreCopyOf(stem)));
}
