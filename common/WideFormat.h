#pragma once

#include <cstdarg>
#include <string>

// printf-style formatting of wide texts with the Microsoft CRT's meaning of the
// conversions: "%s" in a wide format is a wide string in every build. MinGW's C++ headers
// switch swprintf and friends to C99 semantics, where "%s" is narrow; the CRT's own
// _vscwprintf/_vsnwprintf keep the Windows meaning, so formatting goes through them.

// The number of characters the format produces, or a negative value when the CRT rejects it.
int CountFormatted(const wchar_t* format, va_list args);

// Formats into an exactly sized text: the count first, then one pass into n + 1 characters.
// Gives false, and leaves `out` untouched, when the count is not positive or the pass
// produced another number of characters, so a text is complete or not there.
bool FormatExact(std::wstring& out, const wchar_t* format, va_list args);
bool FormatExactF(std::wstring& out, const wchar_t* format, ...);
