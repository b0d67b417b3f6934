#pragma once

#include <map>
#include <string>
#include <vector>

// The program's own command-line syntax: options begin with a slash and carry an optional
// value after the first colon, double quotes group separators into one token, and a doubled
// double quote stands for one literal double quote. Backslashes are ordinary characters.
// Free of Windows headers so that it also builds natively.
class CommandLine {
public:
    CommandLine() = default;
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // Never fails; clears everything first, so it may be called again.
    void Parse(const std::wstring& text, bool firstTokenIsProgramPath);

    // Tokens with quotes removed. A run of separators after the last token leaves one empty
    // token at the end; leading separators create none of their own. Stops at the first
    // zero character, as the system's command line ends there.
    static std::vector<std::wstring> Split(const std::wstring& text);

    bool HasOption(const std::wstring& name) const;
    // The value, or one shared empty text when the option was not given. The reference
    // stays valid until the object is parsed again or destroyed.
    const std::wstring& GetOption(const std::wstring& name) const;
    const std::vector<std::wstring>& GetArguments() const { return arguments_; }
    const std::wstring& GetProgramPath() const { return programPath_; }

    // Normalised text for the log: the quoted program path, the options sorted by name, then
    // every positional argument quoted.
    std::wstring ToString() const;

private:
    // Code unit by code unit as unsigned values, case included; a prefix sorts first.
    // std::less would compare signed units where wchar_t is a signed 32-bit type.
    struct NameLess {
        bool operator()(const std::wstring& left, const std::wstring& right) const noexcept;
    };

    std::wstring programPath_;
    std::map<std::wstring, std::wstring, NameLess> options_;
    std::vector<std::wstring> arguments_;
};
