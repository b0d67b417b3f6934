#pragma once

#include <string>

// folder, then a backslash unless folder is empty or ends in one, then "crash.log".
std::wstring FormCrashLogPath(const std::wstring& folder);

// Appends one text to crash.log in text mode ("\n" becomes CR LF on disk); the text is lost
// when the file cannot be opened.
void AppendCrashLog(const wchar_t* text);
