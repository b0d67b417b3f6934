#include "TestSupport.h"

#include "common/UniqueResource.h"

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kProductKey[] = L"Software\\Orvel Software\\Orvel";
} // namespace

std::wstring BuildFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\'));
}

ScratchFolder::ScratchFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"pinewick-crashguard-" + name;
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() {
    RemoveTree(path_);
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstFileW((path + L"\\*").c_str(), &data));
    if (find) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find.Get(), &data));
    }
    RemoveDirectoryW(path.c_str());
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadBytes(const std::wstring& path) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
    std::string bytes;
    if (!file)
        return bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

std::vector<std::wstring> FindFiles(const std::wstring& folder, const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstFileW((folder + L"\\" + pattern).c_str(), &data));
    if (!find)
        return names;
    do {
        names.push_back(data.cFileName);
    } while (FindNextFileW(find.Get(), &data));
    return names;
}

size_t CountOccurrences(const std::string& text, const std::string& piece) {
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++count;
    return count;
}

ChildOutcome RunCrashChild(const std::wstring& mode, const std::wstring& logFolder,
                           const std::wstring& outputPath, std::wstring program,
                           const std::wstring& currentDirectory) {
    ChildOutcome outcome;
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    UniqueFileHandle output(CreateFileW(outputPath.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                        CREATE_ALWAYS, 0, nullptr));
    EXPECT_TRUE(output.IsValid());

    if (program.empty())
        program = BuildFolder() + L"\\crashguard_child.exe";
    std::wstring commandLine = L"\"" + program + L"\" " + mode + L" \"" + logFolder + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = output.Get();
    startup.hStdError = output.Get();
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                        currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup,
                        &process)) {
        ADD_FAILURE() << "CreateProcessW failed with " << GetLastError();
        return outcome;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    if (WaitForSingleObject(processHandle.Get(), 60000) != WAIT_OBJECT_0) {
        TerminateProcess(processHandle.Get(), 1);
        WaitForSingleObject(processHandle.Get(), 10000);
        return outcome;
    }
    outcome.finished = GetExitCodeProcess(processHandle.Get(), &outcome.exitCode) != FALSE;
    return outcome;
}

ProductValue::ProductValue(std::wstring name)
    : SavedRegistryValue(kProductKey, std::move(name), KEY_WOW64_32KEY) {}

ChildCopy::ChildCopy(const std::wstring& folder, const std::wstring& name)
    : name_(name), program_(folder + L"\\bin\\" + name) {
    CreateDirectoryW((folder + L"\\bin").c_str(), nullptr);
    EXPECT_TRUE(
        CopyFileW((BuildFolder() + L"\\crashguard_child.exe").c_str(), program_.c_str(), FALSE));
}

ChildCopy::~ChildCopy() {
    RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Wine\\AppDefaults\\" + name_).c_str());
}

void ChildCopy::SetWineSetting(const std::wstring& subkey, const std::wstring& name,
                               const std::wstring& value) {
    std::wstring path = L"Software\\Wine\\AppDefaults\\" + name_;
    if (!subkey.empty())
        path += L"\\" + subkey;
    UniqueRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}
