#include "common/WideFormat.h"

#include <stdio.h>
#include <wchar.h>

int CountFormatted(const wchar_t* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int count = _vscwprintf(format, copy);
    va_end(copy);
    return count;
}

bool FormatExact(std::wstring& out, const wchar_t* format, va_list args)
{
    const int count = CountFormatted(format, args);
    if (count <= 0)
        return false;
    std::wstring text(static_cast<size_t>(count) + 1, L'\0');
    va_list copy;
    va_copy(copy, args);
    const int written = _vsnwprintf(&text[0], text.size(), format, copy);
    va_end(copy);
    if (written != count)
        return false;
    text.resize(static_cast<size_t>(count));
    out.swap(text);
    return true;
}

bool FormatExactF(std::wstring& out, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const bool ok = FormatExact(out, format, args);
    va_end(args);
    return ok;
}
