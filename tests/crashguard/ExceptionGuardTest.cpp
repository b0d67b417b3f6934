#include "crashguard/ExceptionGuard.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

volatile uintptr_t g_badAddress = 0x10;

void FaultingStore() {
    *reinterpret_cast<volatile int*>(g_badAddress) = 1;
}

// The emulated 32-bit Wine gives no trap number, so a bad store arrives there as an illegal
// instruction.
bool IsBadStoreCode(DWORD code) {
#if defined(_WIN64)
    return code == static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION);
#else
    return code == static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION) ||
           code == static_cast<DWORD>(EXCEPTION_ILLEGAL_INSTRUCTION);
#endif
}

} // namespace

TEST(CrashGuardExceptionGuard, ReturnsNormallyWhenNothingIsRaised) {
    int calls = 0;
    DWORD code = 0x1234;
    EXPECT_TRUE(CallWithExceptionGuard([&calls] { ++calls; }, code));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(code, 0x1234u);
}

TEST(CrashGuardExceptionGuard, AcceptsEveryExceptionAndGivesItsCode) {
    struct Case {
        const char* what;
        void (*raise)();
        DWORD code; // 0: a bad store
    };
    const Case cases[] = {
        {"access violation", &FaultingStore, 0},
        {"raised code", [] { RaiseException(0xE0001234, 0, 0, nullptr); }, 0xE0001234},
        {"non-continuable",
         [] { RaiseException(0xE0005678, EXCEPTION_NONCONTINUABLE, 0, nullptr); }, 0xE0005678},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        // Values live across the call in registers and on the stack: the unwind must give the
        // frame back intact.
        volatile int before = 41;
        bool reachedEnd = false;
        DWORD code = 0;
        EXPECT_FALSE(CallWithExceptionGuard(
            [&] {
                row.raise();
                reachedEnd = true;
            },
            code));
        if (row.code == 0)
            EXPECT_TRUE(IsBadStoreCode(code)) << std::hex << code;
        else
            EXPECT_EQ(code, row.code);
        EXPECT_FALSE(reachedEnd);
        EXPECT_EQ(before + 1, 42);
    }
}

TEST(CrashGuardExceptionGuard, InnerGuardCatchesFirstAndOuterGoesOn) {
    DWORD innerCode = 0;
    DWORD outerCode = 0;
    bool innerResult = true;
    bool afterInner = false;
    const bool outerResult = CallWithExceptionGuard(
        [&] {
            innerResult = CallWithExceptionGuard(&FaultingStore, innerCode);
            afterInner = true;
            // A second fault after the first: the outer frame must still be registered.
            FaultingStore();
        },
        outerCode);
    EXPECT_FALSE(innerResult);
    EXPECT_TRUE(IsBadStoreCode(innerCode)) << std::hex << innerCode;
    EXPECT_TRUE(afterInner);
    EXPECT_FALSE(outerResult);
    EXPECT_TRUE(IsBadStoreCode(outerCode)) << std::hex << outerCode;
}
