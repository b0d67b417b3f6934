#pragma once

#include <cstddef>
#include <cstdint>

// Texts on the crash path are formed in fixed buffers without the heap, the runtime's
// locale or its printf. Each call appends as much as fits, keeps the buffer terminated and
// returns false when something did not fit.
template <size_t N> struct FixedText {
    wchar_t text[N] = {};
    size_t length = 0;

    bool Append(const wchar_t* piece);
    bool AppendHex(uint64_t value);
    bool AppendDecimal(uint64_t value);
};

bool AppendFixedText(wchar_t* buffer, size_t capacity, size_t& length, const wchar_t* piece);
bool AppendFixedNumber(wchar_t* buffer, size_t capacity, size_t& length, uint64_t value,
                       unsigned base);

template <size_t N> bool FixedText<N>::Append(const wchar_t* piece) {
    return AppendFixedText(text, N, length, piece);
}

template <size_t N> bool FixedText<N>::AppendHex(uint64_t value) {
    return AppendFixedNumber(text, N, length, value, 16);
}

template <size_t N> bool FixedText<N>::AppendDecimal(uint64_t value) {
    return AppendFixedNumber(text, N, length, value, 10);
}
