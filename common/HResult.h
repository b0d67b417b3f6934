#pragma once

#include <windows.h>

// A Win32 error code as an HRESULT: zero or negative (as a signed 32-bit value) stays as it
// is, so SetupAPI's own 0xE000xxxx codes pass through; anything else becomes
// 0x80070000 | (code & 0xFFFF).
inline HRESULT HResultFromWin32(DWORD code)
{
    const LONG value = static_cast<LONG>(code);
    if (value <= 0)
        return static_cast<HRESULT>(value);
    return static_cast<HRESULT>((code & 0x0000FFFF) | 0x80070000);
}
