#pragma once

#include <windows.h>

#include <string>

// One line for a log message: the code in decimal and hexadecimal, then its description in
// square brackets, for example "5 (0x00000005) [Access denied.]". Never empty.
std::wstring ErrorText(DWORD code);

// The text between the brackets: the setup framework's own message for codes whose bits 12
// to 15 are 0xA, the system's English text for every other code. Empty when there is none.
std::wstring ErrorDescription(DWORD code);
