#include "common/WideFormat.h"

#include <gtest/gtest.h>

TEST(WideFormat, PercentSIsAWideStringInEveryBuild)
{
    std::wstring text;
    ASSERT_TRUE(FormatExactF(text, L"'%s' 0x%08lx %5lu|%-7s|", L"p\x00e4th", 0x3ul, 42ul, L"info"));
    EXPECT_EQ(L"'p\x00e4th' 0x00000003    42|info   |", text);
}

TEST(WideFormat, NothingToPrintLeavesTheTextUntouched)
{
    std::wstring text = L"before";
    EXPECT_FALSE(FormatExactF(text, L""));
    EXPECT_EQ(L"before", text);
}
