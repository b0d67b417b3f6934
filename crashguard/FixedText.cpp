#include "crashguard/FixedText.h"

bool AppendFixedText(wchar_t* buffer, size_t capacity, size_t& length, const wchar_t* piece) {
    for (; *piece != L'\0'; ++piece) {
        if (length + 1 >= capacity)
            return false;
        buffer[length++] = *piece;
        buffer[length] = L'\0';
    }
    return true;
}

// Lower-case digits, no prefix, no leading zeros.
bool AppendFixedNumber(wchar_t* buffer, size_t capacity, size_t& length, uint64_t value,
                       unsigned base) {
    wchar_t digits[24];
    size_t count = 0;
    do {
        digits[count++] = L"0123456789abcdef"[value % base];
        value /= base;
    } while (value != 0);

    wchar_t piece[25];
    for (size_t i = 0; i < count; ++i)
        piece[i] = digits[count - 1 - i];
    piece[count] = L'\0';
    return AppendFixedText(buffer, capacity, length, piece);
}
