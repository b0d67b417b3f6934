#include "LogTestSupport.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include "common/UniqueResource.h"

FILETIME FakeLogPlatform::now;
DWORD FakeLogPlatform::processId;
DWORD FakeLogPlatform::threadId;
bool FakeLogPlatform::failWrites;
std::vector<std::wstring> FakeLogPlatform::debuggerLines;

namespace {

void WINAPI FakeTime(LPFILETIME time) {
    *time = FakeLogPlatform::now;
}

DWORD WINAPI FakeProcessId() {
    return FakeLogPlatform::processId;
}

DWORD WINAPI FakeThreadId() {
    return FakeLogPlatform::threadId;
}

void WINAPI FakeOutputDebugString(LPCWSTR text) {
    FakeLogPlatform::debuggerLines.push_back(text);
}

BOOL WINAPI FakeWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                          LPOVERLAPPED overlapped) {
    if (FakeLogPlatform::failWrites) {
        ::SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return ::WriteFile(file, data, size, written, overlapped);
}

} // namespace

void FakeLogPlatform::Reset() {
    now = FileTimeOf(2020, 1, 1, 13, 14, 15);
    processId = 1234;
    threadId = 56;
    failWrites = false;
    debuggerLines.clear();
}

const LogPlatform& FakeLogPlatform::Get() {
    static const LogPlatform platform = {FakeTime, FakeProcessId, FakeThreadId,
                                         FakeOutputDebugString, FakeWriteFile};
    return platform;
}

TempFolder::TempFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    path_ =
        std::wstring(temp) + L"pinewick-" + name + L"-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    std::wstring from = path_;
    from.push_back(L'\0'); // SHFileOperationW takes a double-terminated list
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&operation);
}

std::string ReadFileBytes(const std::wstring& path) {
    std::string bytes;
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    char chunk[4096];
    DWORD read = 0;
    while (file && ::ReadFile(file.Get(), chunk, sizeof(chunk), &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(
        ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

std::string Utf16Bytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

FILETIME FileTimeOf(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME time = {};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    FILETIME result = {};
    ::SystemTimeToFileTime(&time, &result);
    return result;
}
