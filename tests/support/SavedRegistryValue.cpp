#include "SavedRegistryValue.h"

#include <utility>

#include <gtest/gtest.h>

#include "common/UniqueResource.h"

namespace {

UniqueRegKey OpenKey(const std::wstring& keyPath, REGSAM access) {
    UniqueRegKey key;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0,
                                             access, nullptr, key.Put(), nullptr))
        << "cannot open HKLM\\" << testing::PrintToString(keyPath);
    return key;
}

} // namespace

SavedRegistryValue::SavedRegistryValue(std::wstring keyPath, std::wstring name, REGSAM view)
    : keyPath_(std::move(keyPath)), name_(std::move(name)), view_(view) {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath_.c_str(), 0, KEY_QUERY_VALUE | view_,
                      key.Put()) != ERROR_SUCCESS)
        return;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), name_.c_str(), nullptr, &type_, nullptr, &size) !=
        ERROR_SUCCESS)
        return;
    data_.resize(size);
    existed_ = RegQueryValueExW(key.Get(), name_.c_str(), nullptr, &type_,
                                data_.empty() ? nullptr : data_.data(), &size) == ERROR_SUCCESS;
    data_.resize(size);
}

SavedRegistryValue::~SavedRegistryValue() {
    if (existed_)
        Set(type_, data_.data(), static_cast<DWORD>(data_.size()));
    else
        Delete();
}

void SavedRegistryValue::Set(DWORD type, const void* data, DWORD size) {
    const UniqueRegKey key = OpenKey(keyPath_, KEY_SET_VALUE | view_);
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key.Get(), name_.c_str(), 0, type,
                                            static_cast<const BYTE*>(data), size));
}

void SavedRegistryValue::SetString(const std::wstring& text, DWORD type) {
    Set(type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void SavedRegistryValue::Delete() {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath_.c_str(), 0, KEY_SET_VALUE | view_, key.Put()) ==
        ERROR_SUCCESS)
        RegDeleteValueW(key.Get(), name_.c_str());
}
