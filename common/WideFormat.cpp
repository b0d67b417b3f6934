#include "common/WideFormat.h"

#include <stdio.h>
#include <wchar.h>

int CountFormatted(const wchar_t* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int count = _vscwprintf(format, copy);
    va_end(copy);
    return count;
}

bool FormatExact(std::wstring& out, const wchar_t* format, va_list args) {
    const int count = CountFormatted(format, args);
    if (count <= 0)
        return false;
    // Straight into the text's own buffer: a caller that keeps the text pays one allocation.
    std::wstring text(static_cast<size_t>(count), L'\0');
    va_list copy;
    va_copy(copy, args);
    const int written = _vsnwprintf(&text[0], text.size() + 1, format, copy);
    va_end(copy);
    if (written != count)
        return false;
    out.swap(text);
    return true;
}

bool FormatExactF(std::wstring& out, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const bool ok = FormatExact(out, format, args);
    va_end(args);
    return ok;
}
