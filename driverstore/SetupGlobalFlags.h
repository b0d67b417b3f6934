#pragma once

#include <cstddef>
#include <cstdint>

// The 32-bit pSetupGetGlobalFlags of SetupAPI is a single `mov eax, [address]` (0xA1 and a
// 32-bit absolute address) followed by `ret` (0xC3). Gives that address when the first six
// bytes of `code` have this shape; `size` is how many bytes may be read.
bool DecodeGlobalFlagsAddress(const unsigned char* code, size_t size, std::uint32_t& address);

#if defined(_M_IX86) || defined(__i386__)
// Stores 0 at the address that the getter whose code starts at `getter` loads from, when its
// code has the shape above; otherwise does nothing.
void ClearGlobalFlagsOf(const void* getter);
#endif

// Zeroes SetupAPI's global flags word so that the setup calls that follow run without the
// flags an earlier caller in the process may have set. Only the 32-bit build acts: the 64-bit
// export is other code, with no absolute address to take.
void ClearSetupGlobalFlags();
