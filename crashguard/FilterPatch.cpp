#include "crashguard/FilterPatch.h"

#include "crashguard/CrashGuardState.h"

#include <windows.h>

#include <cstring>

namespace {

#if defined(_M_IX86) || defined(__i386__)
// xor eax, eax; ret 4 (the one stack argument, as the function itself removes it); nop x3.
constexpr unsigned char kPatch[kPrologueSize] = {0x31, 0xC0, 0xC2, 0x04, 0x00, 0x90, 0x90, 0x90};
#elif defined(_M_X64) || defined(__x86_64__)
// xor eax, eax; ret; nop x5. The argument travels in a register, so ret 4 would corrupt the
// caller's stack.
constexpr unsigned char kPatch[kPrologueSize] = {0x31, 0xC0, 0xC3, 0x90, 0x90, 0x90, 0x90, 0x90};
#else
#error "No patch for this processor."
#endif

unsigned char* FindSetUnhandledExceptionFilterCode() {
    const HMODULE kernel32 = GetModuleHandleW(L"Kernel32.dll");
    if (kernel32 == nullptr)
        return nullptr;
    return reinterpret_cast<unsigned char*>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "SetUnhandledExceptionFilter")));
}

void ClearSavedPrologue() {
    std::memset(g_crashGuard.savedPrologue, 0, kPrologueSize);
}

// Two 4-byte stores: no other thread of the program runs at set-up or removal.
void WriteCode(unsigned char* code, const unsigned char (&bytes)[kPrologueSize]) {
    std::memcpy(code, bytes, 4);
    std::memcpy(code + 4, bytes + 4, 4);
    FlushInstructionCache(GetCurrentProcess(), code, kPrologueSize);
}

} // namespace

bool IsPrologueSaved() {
    for (unsigned char byte : g_crashGuard.savedPrologue) {
        if (byte != 0)
            return true;
    }
    return false;
}

bool PatchSetUnhandledExceptionFilter() {
    unsigned char* const code = FindSetUnhandledExceptionFilterCode();
    if (code == nullptr)
        return false;
    DWORD oldProtection = 0;
    if (!VirtualProtect(code, kPrologueSize, PAGE_EXECUTE_READWRITE, &oldProtection))
        return false;
    std::memcpy(g_crashGuard.savedPrologue, code, kPrologueSize);
    WriteCode(code, kPatch);
    DWORD ignored = 0;
    return VirtualProtect(code, kPrologueSize, oldProtection, &ignored) != FALSE;
}

bool RestoreSetUnhandledExceptionFilter() {
    if (!IsPrologueSaved())
        return false;
    unsigned char* const code = FindSetUnhandledExceptionFilterCode();
    if (code == nullptr) {
        ClearSavedPrologue();
        return false;
    }
    DWORD oldProtection = 0;
    if (!VirtualProtect(code, kPrologueSize, PAGE_EXECUTE_READWRITE, &oldProtection)) {
        ClearSavedPrologue();
        return false;
    }
    WriteCode(code, g_crashGuard.savedPrologue);
    // The code is as it was: nothing is saved any more.
    ClearSavedPrologue();
    DWORD ignored = 0;
    return VirtualProtect(code, kPrologueSize, oldProtection, &ignored) != FALSE;
}
