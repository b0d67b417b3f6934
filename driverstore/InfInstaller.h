#pragma once

#include <windows.h>

#include <string>

// Copies the driver package whose INF is at `infPath` (absolute, or relative to the current
// directory) into the driver store. Returns S_OK, 0x80070003 when the path cannot be made
// absolute, E_INVALIDARG when its drive or directory part is too long, or the copy's last
// error as an HRESULT. Logs nothing: the caller reports the outcome.
HRESULT InstallInf(const std::wstring& infPath);

// The folder that holds the file at `absolutePath`, with its trailing backslash: the drive (at
// most 2 characters, none for a UNC path) followed by the directory (at most 255 characters).
// E_INVALIDARG when either part is longer.
HRESULT GetSourceMediaLocation(const wchar_t* absolutePath, std::wstring& location);
