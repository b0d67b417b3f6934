#pragma once

#include <windows.h>

// The system's limit of network filter drivers: REG_DWORD "MaxNumFilters" under
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Network. Failures are logged under
// the tag "registry"; only true or false reaches the caller.

// True with `value` set when the value exists as a REG_DWORD of 4 bytes; otherwise false
// with `value` left as the caller preset it. A missing key or value is not logged.
bool GetValueImpl(DWORD& value);

// Writes `value` as REG_DWORD, creating the key when it is missing.
bool SetValueImpl(DWORD value);

// The same with another RegCreateKeyExW, so that tests can provoke a denied write (the
// registry under Wine enforces no key ACLs).
using RegCreateKeyFunction = LONG(WINAPI*)(HKEY key, LPCWSTR subKey, DWORD reserved,
                                           LPWSTR keyClass, DWORD options, REGSAM access,
                                           LPSECURITY_ATTRIBUTES security, PHKEY result,
                                           LPDWORD disposition);
bool SetValueImpl(DWORD value, RegCreateKeyFunction createKey);
