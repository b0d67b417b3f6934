#include "tests/driverstore/DriverStoreTestFiles.h"

#include <gtest/gtest.h>

#include "common/UniqueResource.h"

std::wstring UniqueName(const std::wstring& suffix) {
    const char* test = testing::UnitTest::GetInstance()->current_test_info()->name();
    std::wstring name = L"pw-";
    for (const char* c = test; *c != '\0'; ++c)
        name += static_cast<wchar_t>(*c == '/' ? '_' : *c);
    return name + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + suffix;
}

std::wstring WindowsInfFolder() {
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows, length) + L"\\inf\\";
}

std::wstring CatalogRootFolder() {
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system, length) + L"\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\";
}

std::wstring InfText(const std::vector<std::wstring>& versionLines) {
    std::wstring text = L"[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Net\r\n"
                        L"ClassGuid={4D36E972-E325-11CE-BFC1-08002BE10318}\r\n";
    for (const std::wstring& line : versionLines)
        text += line + L"\r\n";
    return text;
}

bool WriteTextFile(const std::wstring& path, const std::wstring& text) {
    const std::string bytes(text.begin(), text.end());
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

bool ReadTextFile(const std::wstring& path, std::string& text) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    if (!file)
        return false;
    text.clear();
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read != 0)
        text.append(buffer, read);
    return true;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Cleanup::~Cleanup() {
    for (const std::wstring& file : files_) {
        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(file.c_str());
    }
    for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder)
        RemoveDirectoryW(folder->c_str());
}

void Cleanup::StoreCopy(const std::wstring& stem) {
    File(WindowsInfFolder() + stem + L".inf");
    File(WindowsInfFolder() + stem + L".pnf");
    File(CatalogRootFolder() + stem + L".cat");
}

std::wstring MakeScratchFolder(Cleanup& cleanup) {
    wchar_t temp[MAX_PATH] = {};
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp, length) + UniqueName(L"scratch");
    EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    cleanup.Folder(folder);
    return folder + L"\\";
}
