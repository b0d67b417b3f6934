#include "driverstore/SetupGlobalFlags.h"

#include <windows.h>

bool DecodeGlobalFlagsAddress(const unsigned char* code, size_t size, std::uint32_t& address) {
    const size_t patternSize = 6;
    if (code == nullptr || size < patternSize || code[0] != 0xA1 || code[5] != 0xC3)
        return false;
    address = static_cast<std::uint32_t>(code[1]) | static_cast<std::uint32_t>(code[2]) << 8 |
              static_cast<std::uint32_t>(code[3]) << 16 | static_cast<std::uint32_t>(code[4]) << 24;
    return true;
}

#if defined(_M_IX86) || defined(__i386__)
void ClearGlobalFlagsOf(const void* getter) {
    std::uint32_t address = 0;
    if (DecodeGlobalFlagsAddress(static_cast<const unsigned char*>(getter), 6, address))
        *reinterpret_cast<volatile std::uint32_t*>(static_cast<std::uintptr_t>(address)) = 0;
}
#endif

void ClearSetupGlobalFlags() {
#if defined(_M_IX86) || defined(__i386__)
    // SetupAPI is a load-time import of the program: take the loaded module, never load one.
    const HMODULE setupApi = GetModuleHandleW(L"SetupAPI");
    if (setupApi == nullptr)
        return;
    const FARPROC getter = GetProcAddress(setupApi, "pSetupGetGlobalFlags");
    if (getter != nullptr)
        ClearGlobalFlagsOf(reinterpret_cast<const void*>(getter));
#endif
}
