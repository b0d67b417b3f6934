#pragma once

#include <string>

// The Windows Inf folder, with a trailing backslash.
std::wstring InfFolder();

// Writes `text` as it stands (an INF, a catalog); true when every byte was written.
bool WriteAscii(const std::wstring& path, const std::string& text);
