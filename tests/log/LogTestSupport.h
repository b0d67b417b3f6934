#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "log/Logger.h"

// A clock, ids, debugger output and file write that a test controls.
struct FakeLogPlatform {
    static FILETIME now;
    static DWORD processId;
    static DWORD threadId;
    static bool failWrites;
    static std::vector<std::wstring> debuggerLines;

    static void Reset();
    static const LogPlatform& Get();
};

// A folder of its own under the temporary folder, removed with what it holds.
class TempFolder {
public:
    explicit TempFolder(const wchar_t* name);
    ~TempFolder();
    const std::wstring& Path() const { return path_; }
    std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);

// The bytes of a UTF-16LE text, as a log file holds them.
std::string Utf16Bytes(const std::wstring& text);

FILETIME FileTimeOf(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second);
