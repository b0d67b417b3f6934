#pragma once

#include <windows.h>

constexpr size_t kDumpPathCharacters = 260;

// "unp" + the high and the low half of the time in decimal + ".mdmp"; false if it does not
// fit.
bool FormatDumpName(const FILETIME& time, wchar_t (&name)[kDumpPathCharacters]);

// Writes a minidump of the process into the log folder, with fewer details on each of up to
// three attempts. A Win32 error code: 0 when written, 82 when another thread holds the loader
// lock, 120 without a dump writer, else the error of the failed step (the file is then
// deleted).
DWORD WriteMinidump(EXCEPTION_POINTERS* exceptionPointers);
