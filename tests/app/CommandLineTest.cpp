#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace std::string_literals;

namespace {

using Options = std::vector<std::pair<std::wstring, std::wstring>>;
using Arguments = std::vector<std::wstring>;

struct ParseCase {
    std::wstring text;
    bool firstTokenIsProgramPath;
    std::wstring path;
    Options options; // every option given; ToString shows there are no others
    Arguments arguments;
    std::wstring rendered;
};

} // namespace

TEST(CommandLine, ParsesAndRendersTable) {
    const ParseCase cases[] = {
        // Empty and separator-only texts.
        {L"", true, L"", {}, {}, L""},
        {L"", false, L"", {}, {}, L""},
        {L"   ", true, L"", {}, {}, L""},
        {L"   ", false, L"", {}, {L""}, L" \"\""},
        {L"\"", true, L"", {}, {}, L""}, // a lone quote opens quotes and stores nothing

        // Separators outside quotes split; leading ones make no token, trailing ones one.
        {L" \t\r\n a\tb\rc\nd  ",
         false,
         L"",
         {},
         {L"a", L"b", L"c", L"d", L""},
         L" \"a\" \"b\" \"c\" \"d\" \"\""},
        {L"\"a b\tc\r\nd\"", false, L"", {}, {L"a b\tc\r\nd"}, L" \"a b\tc\r\nd\""},
        {L"p.exe /install ",
         true,
         L"p.exe",
         {{L"install", L""}},
         {L""},
         L"\"p.exe\" /install \"\""},

        // Quotes: mid-token, doubled, unclosed; backslashes are ordinary.
        {L"a\"b c\"d", false, L"", {}, {L"ab cd"}, L" \"ab cd\""},
        {L"a\"\"b \"x\"\"y\"", false, L"", {}, {L"a\"b", L"x\"y"}, L" \"a\"\"b\" \"x\"\"y\""},
        {L"x \"\"", false, L"", {}, {L"x", L"\""}, L" \"x\" \"\"\"\""},
        {L"C:\\dir\\\" x\\\"", false, L"", {}, {L"C:\\dir\\ x\\"}, L" \"C:\\dir\\ x\\\""},
        {L"a \"b c", false, L"", {}, {L"a", L"b c"}, L" \"a\" \"b c\""},
        // The system's command line ends at its zero.
        {L"a b\0c d"s, false, L"", {}, {L"a", L"b"}, L" \"a\" \"b\""},

        // Option names and values.
        {L"/net:a:b /x: /y /",
         false,
         L"",
         {{L"net", L"a:b"}, {L"x", L""}, {L"y", L""}, {L"", L""}},
         {},
         L" / /net:a:b /x /y"},
        {L"/:x", false, L"", {{L"", L"x"}}, {}, L" /:x"},
        {L"/net:a /n:1 /net:b /n", false, L"", {{L"net", L"b"}, {L"n", L""}}, {}, L" /n /net:b"},
        {L"/NET:a /net:b", false, L"", {{L"NET", L"a"}, {L"net", L"b"}}, {}, L" /NET:a /net:b"},
        {L"\"/net:a b\" \"/na me\" /q:\"x\"\"y\" /\"r:1 2\"",
         false,
         L"",
         {{L"net", L"a b"}, {L"na me", L""}, {L"q", L"x\"y"}, {L"r", L"1 2"}},
         {},
         L" \"/na me\" \"/net:a b\" \"/q:x\"\"y\" \"/r:1 2\""},
        // Only a blank or a quote makes an option quoted.
        {L"\"/a:x\ty\"", false, L"", {{L"a", L"x\ty"}}, {}, L" /a:x\ty"},
        // Unsigned code-unit order: upper case before lower case, a prefix first.
        {L"/b /a /B /ab /\u00e9 /Z /\uff01",
         false,
         L"",
         {{L"b", L""},
          {L"a", L""},
          {L"B", L""},
          {L"ab", L""},
          {L"\u00e9", L""},
          {L"Z", L""},
          {L"\uff01", L""}},
         {},
         L" /B /Z /a /ab /b /\u00e9 /\uff01"},

        // The program path, whatever it looks like.
        {L"C:\\x\\p.exe /net:ab a.inf /install",
         true,
         L"C:\\x\\p.exe",
         {{L"net", L"ab"}, {L"install", L""}},
         {L"a.inf"},
         L"\"C:\\x\\p.exe\" /install /net:ab \"a.inf\""},
        {L"C:\\x\\p.exe /install",
         false,
         L"",
         {{L"install", L""}},
         {L"C:\\x\\p.exe"},
         L" /install \"C:\\x\\p.exe\""},
        {L"/install /uninstall",
         true,
         L"/install",
         {{L"uninstall", L""}},
         {},
         L"\"/install\" /uninstall"},
        {L"\"C:\\a\"\"b\" x", true, L"C:\\a\"b", {}, {L"x"}, L"\"C:\\a\"\"b\" \"x\""},
        {L"  \"C:\\Program Files\\p.exe\"  /install",
         true,
         L"C:\\Program Files\\p.exe",
         {{L"install", L""}},
         {},
         L"\"C:\\Program Files\\p.exe\" /install"},
    };

    for (const ParseCase& c : cases) {
        SCOPED_TRACE(L"text [" + c.text + L"] program path flag " +
                     (c.firstTokenIsProgramPath ? L"set" : L"clear"));
        CommandLine line;
        line.Parse(c.text, c.firstTokenIsProgramPath);
        EXPECT_EQ(c.path, line.GetProgramPath());
        for (const auto& option : c.options) {
            SCOPED_TRACE(L"option [" + option.first + L"]");
            EXPECT_TRUE(line.HasOption(option.first));
            EXPECT_EQ(option.second, line.GetOption(option.first));
        }
        EXPECT_EQ(c.arguments, line.GetArguments());
        EXPECT_EQ(c.rendered, line.ToString());
    }
}

TEST(CommandLine, RenderedTextParsesBackToTheSameCommandLine) {
    const std::wstring texts[] = {
        L"C:\\x\\p.exe /net:ab a.inf /install",
        L"\"C:\\Program Files\\a\"\"b.exe\" \"/net service:x y\" /q:\"a\"\"b\" c\"d e\" /",
        L"p /b /a /B /:v \"/x:\"\"\" \"quoted \"\"arg\"\"\" \\\\server\\share\\x.inf",
    };
    for (const std::wstring& text : texts) {
        SCOPED_TRACE(text);
        CommandLine first;
        first.Parse(text, true);
        const std::wstring rendered = first.ToString();

        CommandLine second;
        second.Parse(rendered, true);
        EXPECT_EQ(first.GetProgramPath(), second.GetProgramPath());
        EXPECT_EQ(first.GetArguments(), second.GetArguments());
        EXPECT_EQ(rendered, second.ToString());
    }
}

TEST(CommandLine, ParsingAgainStartsAfresh) {
    CommandLine line;
    line.Parse(L"p.exe /install /net:x a.inf", true);
    line.Parse(L"/uninstall", false);
    EXPECT_EQ(L"", line.GetProgramPath());
    EXPECT_FALSE(line.HasOption(L"install"));
    EXPECT_FALSE(line.HasOption(L"net"));
    EXPECT_TRUE(line.HasOption(L"uninstall"));
    EXPECT_TRUE(line.GetArguments().empty());
    EXPECT_EQ(L" /uninstall", line.ToString());
}

TEST(CommandLine, AbsentOptionsShareOneEmptyValue) {
    CommandLine line;
    line.Parse(L"p.exe /install /net:x", true);
    EXPECT_FALSE(line.HasOption(L"Net"));
    EXPECT_FALSE(line.HasOption(L"ne"));
    EXPECT_FALSE(line.HasOption(L""));
    const std::wstring& first = line.GetOption(L"catalog");
    const std::wstring& second = line.GetOption(L"netservice");
    EXPECT_TRUE(first.empty());
    EXPECT_EQ(&first, &second);
    // A given option with an empty value is present, unlike an absent one.
    EXPECT_TRUE(line.HasOption(L"install"));
    EXPECT_TRUE(line.GetOption(L"install").empty());
}
