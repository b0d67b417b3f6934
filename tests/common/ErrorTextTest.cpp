#include "common/ErrorText.h"

#include <gtest/gtest.h>

#include <string>

#include "common/UniqueResource.h"

namespace {

const wchar_t kWhiteSpace[] = L" \t\n\v\f\r";

// The system's English text as FormatMessageW gives it, trailing line break included.
std::wstring RawSystemText(DWORD code) {
    wchar_t* raw = nullptr;
    const DWORD count = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0x0409, reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
    const UniqueLocalMemory owner(raw);
    return count == 0 ? std::wstring() : std::wstring(raw, count);
}

} // namespace

TEST(ErrorText, FormatsCodeAndSetupFrameworkDescription) {
    struct Case {
        DWORD code;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {0xA001, L"40961 (0x0000A001) [Invalid signature]"},
        {0xA003, L"40963 (0x0000A003) [Orvel was not installed by this setup instance]"},
        {0xA10F, L"41231 (0x0000A10F) [The product selection tree is invalid]"},
        // The band matches but no row does: the system is not asked.
        {0x8004A029, L"-2147180503 (0x8004A029) []"},
        {0xA0FF, L"41215 (0x0000A0FF) []"},
        // Rows match the whole 32-bit code, not only its low bits.
        {0x0001A003, L"106499 (0x0001A003) []"},
        // Beyond the band, a code the system has no text for.
        {0x12345678, L"305419896 (0x12345678) []"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(c.expected, ErrorText(c.code));
    }
}

TEST(ErrorText, UsesSystemTextWithoutTrailingWhiteSpace) {
    struct Case {
        DWORD code;
        const wchar_t* prefix;
    };
    const Case cases[] = {
        {0, L"0 (0x00000000) ["},
        {2, L"2 (0x00000002) ["},
        {5, L"5 (0x00000005) ["},
        {0x80070005, L"-2147024891 (0x80070005) ["},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const std::wstring raw = RawSystemText(c.code);
        const std::wstring description = ErrorDescription(c.code);
        if (c.code <= 5) {
            ASSERT_FALSE(description.empty());
            // Otherwise the trimming below would go unchecked.
            ASSERT_NE(std::wstring::npos, std::wstring(kWhiteSpace).find(raw.back()));
        }
        if (!description.empty()) {
            EXPECT_EQ(std::wstring::npos, std::wstring(kWhiteSpace).find(description.back()));
            // The description is the system's own text with only white space cut off.
            ASSERT_EQ(0u, raw.compare(0, description.size(), description));
            EXPECT_EQ(std::wstring::npos, raw.find_first_not_of(kWhiteSpace, description.size()));
        } else {
            EXPECT_EQ(std::wstring::npos, raw.find_first_not_of(kWhiteSpace));
        }
        EXPECT_EQ(c.prefix + description + L"]", ErrorText(c.code));
    }
}
