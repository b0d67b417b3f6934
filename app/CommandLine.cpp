#include "app/CommandLine.h"

#include <algorithm>
#include <string_view>
#include <type_traits>

namespace {

constexpr std::wstring_view kSeparators = L" \t\r\n";

bool IsSeparator(wchar_t c) {
    return kSeparators.find(c) != std::wstring_view::npos;
}

// Only a blank or a double quote forces quotes around an option; other separators do not.
bool NeedsQuotes(const std::wstring& text) {
    return text.find_first_of(L" \"") != std::wstring::npos;
}

void AppendEscaped(std::wstring& out, const std::wstring& item) {
    for (const wchar_t c : item) {
        if (c == L'"')
            out += L'"';
        out += c;
    }
}

} // namespace

bool CommandLine::NameLess::operator()(const std::wstring& left,
                                       const std::wstring& right) const noexcept {
    using Unit = std::make_unsigned_t<wchar_t>;
    return std::lexicographical_compare(
        left.begin(), left.end(), right.begin(), right.end(),
        [](wchar_t a, wchar_t b) { return static_cast<Unit>(a) < static_cast<Unit>(b); });
}

std::vector<std::wstring> CommandLine::Split(const std::wstring& text) {
    std::vector<std::wstring> tokens;
    const wchar_t* p = text.c_str();
    bool inQuotes = false;
    while (*p != L'\0') {
        if (!inQuotes && IsSeparator(*p)) {
            do
                ++p;
            while (IsSeparator(*p));
            tokens.emplace_back();
            continue;
        }
        if (*p == L'"') {
            if (p[1] != L'"') {
                inQuotes = !inQuotes;
                ++p;
                continue;
            }
            // A doubled quote is one literal quote and leaves the quote state alone.
            ++p;
        }
        if (tokens.empty())
            tokens.emplace_back();
        tokens.back() += *p;
        ++p;
    }
    return tokens;
}

void CommandLine::Parse(const std::wstring& text, bool firstTokenIsProgramPath) {
    programPath_.clear();
    options_.clear();
    arguments_.clear();

    std::vector<std::wstring> tokens = Split(text);
    for (size_t i = 0; i < tokens.size(); ++i) {
        std::wstring& token = tokens[i];
        if (i == 0 && firstTokenIsProgramPath) {
            programPath_ = std::move(token);
        } else if (!token.empty() && token[0] == L'/') {
            const size_t colon = token.find(L':', 1);
            if (colon == std::wstring::npos)
                options_[token.substr(1)].clear();
            else
                options_[token.substr(1, colon - 1)] = token.substr(colon + 1);
        } else {
            arguments_.push_back(std::move(token));
        }
    }
}

bool CommandLine::HasOption(const std::wstring& name) const {
    return options_.find(name) != options_.end();
}

const std::wstring& CommandLine::GetOption(const std::wstring& name) const {
    static const std::wstring empty;
    const auto found = options_.find(name);
    return found == options_.end() ? empty : found->second;
}

std::wstring CommandLine::ToString() const {
    std::wstring out;
    if (!programPath_.empty()) {
        out += L'"';
        AppendEscaped(out, programPath_);
        out += L'"';
    }
    for (const auto& option : options_) {
        const bool quoted = NeedsQuotes(option.first) || NeedsQuotes(option.second);
        out += L' ';
        if (quoted)
            out += L'"';
        out += L'/';
        AppendEscaped(out, option.first);
        if (!option.second.empty()) {
            out += L':';
            AppendEscaped(out, option.second);
        }
        if (quoted)
            out += L'"';
    }
    for (const std::wstring& argument : arguments_) {
        out += L" \"";
        AppendEscaped(out, argument);
        out += L'"';
    }
    return out;
}
