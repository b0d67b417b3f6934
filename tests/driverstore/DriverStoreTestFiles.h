#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Files for driver-package tests. All tests share one Wine prefix and run in parallel, so
// every name made here carries the test's name and the process id.

// "pw-<test name>-<pid>-<suffix>", unique to the running test.
std::wstring UniqueName(const std::wstring& suffix);

// The Windows Inf folder, with a trailing backslash.
std::wstring WindowsInfFolder();

// Where SetupCopyOEMInfW puts the catalog of a package it copies.
std::wstring CatalogRootFolder();

// An INF's text: a [Version] section with the given extra lines (such as "CatalogFile=x.cat").
std::wstring InfText(const std::vector<std::wstring>& versionLines);

// Writes ASCII text (every character below 0x80) to a new or truncated file.
bool WriteTextFile(const std::wstring& path, const std::wstring& text);
bool ReadTextFile(const std::wstring& path, std::string& text);
bool FileExists(const std::wstring& path);

// Deletes files, read-only ones included, and then folders, deepest first, when it goes.
class Cleanup {
public:
    Cleanup() = default;
    Cleanup(const Cleanup&) = delete;
    Cleanup& operator=(const Cleanup&) = delete;
    ~Cleanup();

    void File(const std::wstring& path) { files_.push_back(path); }
    void Folder(const std::wstring& path) { folders_.push_back(path); }
    // The INF, PNF and catalog that a first copy of a package named `stem` leaves in the store.
    void StoreCopy(const std::wstring& stem);

private:
    std::vector<std::wstring> files_;
    std::vector<std::wstring> folders_;
};

// A new folder under the temporary folder, with a trailing backslash; removed with its
// files by `cleanup`.
std::wstring MakeScratchFolder(Cleanup& cleanup);
