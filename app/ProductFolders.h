#pragma once

#include <windows.h>

#include <string>

typedef BOOL(WINAPI* SpecialFolderPathFunction)(HWND owner, LPWSTR path, int folder, BOOL create);

// The common application-data folder followed by "\ORVEL Software\Orvel", cut to 260
// characters; empty when the folder cannot be looked up. Never creates a folder.
std::wstring GetProductDataFolder(SpecialFolderPathFunction getSpecialFolderPath);
std::wstring GetProductDataFolder();

// The product data folder followed by "\log" ("\log" alone when that folder is empty).
std::wstring GetLogFolder(const std::wstring& productDataFolder);
