#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A value under HKEY_LOCAL_MACHINE that a test changes, put back as it was when the object
// ends: rewritten with its old type and data, or deleted when it was not there. `view` is 0
// or a registry-view flag such as KEY_WOW64_32KEY. The key itself is created when missing and
// never deleted: other values of other tests and programs may live in it.
class SavedRegistryValue {
public:
    SavedRegistryValue(std::wstring keyPath, std::wstring name, REGSAM view);
    ~SavedRegistryValue();
    SavedRegistryValue(const SavedRegistryValue&) = delete;
    SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

    void Set(DWORD type, const void* data, DWORD size);
    void SetString(const std::wstring& text, DWORD type = REG_SZ);
    void Delete();

private:
    std::wstring keyPath_;
    std::wstring name_;
    REGSAM view_;
    bool existed_ = false;
    DWORD type_ = REG_NONE;
    std::vector<BYTE> data_;
};
