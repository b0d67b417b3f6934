#pragma once

#include <windows.h>

#include <string>

// Reads a REG_SZ value of the product's key (HKLM "Software\Orvel Software\Orvel", in the
// 32-bit view, where the product's setup writes it). A Win32 error code: 2 also for a value
// of another type, 111 for a value that fills the 260-character buffer without its end.
DWORD ReadProductString(std::wstring valueName, std::wstring& out);

// dbghelp.dll from the folder that "ProgramFolder" names, or null. Only an absolute folder
// counts: anything else would be resolved against a folder an ordinary user may control.
HMODULE LoadDbgHelpFromProgramFolder();

// dbghelp.dll from the system directory and nowhere else, or null.
HMODULE LoadDbgHelpFromSystemDirectory();

// The product's copy first, then the system's.
HMODULE LoadDbgHelp();
