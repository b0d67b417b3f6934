#include "driverstore/SetupGlobalFlags.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "driverstore/InfInstaller.h"
#include "tests/driverstore/DriverStoreTestFiles.h"

TEST(SetupGlobalFlags, DecodesOnlyALoadOfAnAbsoluteAddressFollowedByReturn) {
    struct Case {
        const char* what;
        std::vector<unsigned char> code;
        bool decoded;
        std::uint32_t address;
    };
    const Case cases[] = {
        {"mov eax, [0x12345678]; ret", {0xA1, 0x78, 0x56, 0x34, 0x12, 0xC3}, true, 0x12345678},
        {"bytes after the ret are ignored",
         {0xA1, 0x04, 0x30, 0x00, 0x7D, 0xC3, 0xCC, 0xCC},
         true,
         0x7D003004},
        {"ret with an immediate", {0xA1, 0x78, 0x56, 0x34, 0x12, 0xC2, 0x04, 0x00}, false, 0},
        {"another load opcode", {0x8B, 0x05, 0x78, 0x56, 0x34, 0x12, 0xC3}, false, 0},
        // The 64-bit form of the same getter: a RIP-relative load.
        {"x86_64 mov eax, [rip+disp]", {0x8B, 0x05, 0x10, 0x20, 0x00, 0x00, 0xC3}, false, 0},
        {"five bytes only", {0xA1, 0x78, 0x56, 0x34, 0x12}, false, 0},
        {"empty", {}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::uint32_t address = 0xDEADBEEF;
        EXPECT_EQ(c.decoded, DecodeGlobalFlagsAddress(c.code.data(), c.code.size(), address));
        if (c.decoded)
            EXPECT_EQ(c.address, address);
        else
            EXPECT_EQ(0xDEADBEEFu, address);
    }
}

#if defined(_M_IX86) || defined(__i386__)
TEST(SetupGlobalFlags, ClearsTheWordThatAMatchingGetterLoads) {
    volatile std::uint32_t flags = 0x25;
    const std::uint32_t address =
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&flags));
    unsigned char getter[] = {0xA1,
                              static_cast<unsigned char>(address),
                              static_cast<unsigned char>(address >> 8),
                              static_cast<unsigned char>(address >> 16),
                              static_cast<unsigned char>(address >> 24),
                              0xC2};

    ClearGlobalFlagsOf(getter);
    EXPECT_EQ(0x25u, flags) << "not a plain ret: nothing to act on";

    getter[5] = 0xC3;
    ClearGlobalFlagsOf(getter);
    EXPECT_EQ(0u, flags);
}
#endif

// Wine's getters (32-bit and 64-bit alike) test a bit before they load the flags, so under
// Wine this shows that other code is left alone and the copy goes ahead.
TEST(SetupGlobalFlags, InstallInfClearsTheFlagsOnlyThroughAMatchingGetter) {
    const HMODULE setupApi = GetModuleHandleW(L"SetupAPI");
    ASSERT_NE(nullptr, setupApi);
    typedef DWORD(WINAPI * GetFlags)();
    typedef void(WINAPI * SetFlags)(DWORD flags);
    const FARPROC getAddress = GetProcAddress(setupApi, "pSetupGetGlobalFlags");
    const FARPROC setAddress = GetProcAddress(setupApi, "pSetupSetGlobalFlags");
    if (getAddress == nullptr || setAddress == nullptr)
        GTEST_SKIP() << "no global flags in this SetupAPI";
    const GetFlags get = reinterpret_cast<GetFlags>(reinterpret_cast<void*>(getAddress));
    const SetFlags set = reinterpret_cast<SetFlags>(reinterpret_cast<void*>(setAddress));

    std::uint32_t address = 0;
    const bool matches =
        DecodeGlobalFlagsAddress(reinterpret_cast<const unsigned char*>(getAddress), 6, address);
    const bool acts = matches && sizeof(void*) == 4;
    const DWORD original = get();
    const DWORD raised = original | 0x4; // PSPGF_NONINTERACTIVE
    set(raised);

    wchar_t temp[MAX_PATH] = {};
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
              InstallInf(std::wstring(temp, length) + UniqueName(L"missing.inf")));
    EXPECT_EQ(acts ? 0u : raised, get());
    set(original);
}
