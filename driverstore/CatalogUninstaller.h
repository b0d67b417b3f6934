#pragma once

#include <windows.h>

#include <string>

// Uninstalls every INF in the Windows Inf folder whose [Version] CatalogFile value equals
// `catalogFile` without regard to case. S_OK once the folder could be walked, whatever
// happened to single packages (those are logged); the error as an HRESULT when the Windows
// directory or the folder cannot be read. An empty name is refused with E_INVALIDARG: it
// would match every INF that names no catalog at all.
HRESULT UninstallByCatalog(const std::wstring& catalogFile);

// The two calls that change the system, replaceable so that tests can see what is handed over
// (Wine's SetupUninstallOEMInfW removes nothing) and provoke the failures of a real system.
typedef BOOL(WINAPI* SetInfFileAttributesFunction)(LPCWSTR fileName, DWORD attributes);
typedef BOOL(WINAPI* UninstallOemInfFunction)(PCWSTR infFileName, DWORD flags, PVOID reserved);

extern SetInfFileAttributesFunction g_setInfFileAttributes; // SetFileAttributesW
extern UninstallOemInfFunction g_uninstallOemInf;           // SetupUninstallOEMInfW
