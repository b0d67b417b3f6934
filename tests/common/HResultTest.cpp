#include "common/HResult.h"

#include <gtest/gtest.h>

TEST(HResultFromWin32, FollowsTheSharedRule)
{
    struct Case {
        DWORD code;
        HRESULT expected;
    };
    const Case cases[] = {
        {0, S_OK},
        {2, static_cast<HRESULT>(0x80070002)},
        {160, static_cast<HRESULT>(0x800700A0)},
        {0x12345, static_cast<HRESULT>(0x80072345)}, // only the low 16 bits are kept
        {0xE0000203, static_cast<HRESULT>(0xE0000203)}, // SetupAPI's own codes pass through
        {0x80004005, static_cast<HRESULT>(0x80004005)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(c.expected, HResultFromWin32(c.code));
    }
}
