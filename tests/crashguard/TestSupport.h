#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "SavedRegistryValue.h"

// The folder of the running test program, where the child and the fake dbghelp.dll are built.
std::wstring BuildFolder();

// A fresh, empty folder of the test's own under the temporary folder, removed at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

void RemoveTree(const std::wstring& path);
bool FileExists(const std::wstring& path);
std::string ReadBytes(const std::wstring& path);
// Names of the files in folder that match pattern (for example "unp*.mdmp").
std::vector<std::wstring> FindFiles(const std::wstring& folder, const std::wstring& pattern);
size_t CountOccurrences(const std::string& text, const std::string& piece);

struct ChildOutcome {
    bool finished = false;
    DWORD exitCode = 0;
};

// Runs the crash child (or a copy of it at program) with a mode and a log folder; its standard
// output and error go to outputPath. A child that has not ended after a minute is ended and
// counts as unfinished.
ChildOutcome RunCrashChild(const std::wstring& mode, const std::wstring& logFolder,
                           const std::wstring& outputPath, std::wstring program = L"",
                           const std::wstring& currentDirectory = L"");

// A value of the product's key (HKLM, 32-bit view), put back as it was at the end.
class ProductValue : public SavedRegistryValue {
public:
    explicit ProductValue(std::wstring name);
};

// A copy of the crash child under a name of its own, in folder\bin, with Wine settings for
// that name only (HKCU\Software\Wine\AppDefaults\<name>), removed at the end.
class ChildCopy {
public:
    ChildCopy(const std::wstring& folder, const std::wstring& name);
    ~ChildCopy();
    ChildCopy(const ChildCopy&) = delete;
    ChildCopy& operator=(const ChildCopy&) = delete;

    const std::wstring& Program() const { return program_; }
    // subkey is relative to the program's AppDefaults key; empty for the key itself.
    void SetWineSetting(const std::wstring& subkey, const std::wstring& name,
                        const std::wstring& value);

private:
    std::wstring name_;
    std::wstring program_;
};
