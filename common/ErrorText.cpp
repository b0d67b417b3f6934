#include "common/ErrorText.h"

#include "common/UniqueResource.h"
#include "common/WideFormat.h"

namespace {

struct MessageRow {
    DWORD code;
    const wchar_t* message;
};

const MessageRow kSetupMessages[] = {
    {0xA001, L"Invalid signature"},
    {0xA002, L"Broken package"},
    {0xA003, L"Orvel was not installed by this setup instance"},
    {0xA004, L"Setup/updater is already running"},
    {0xA005, L"No update available"},
    {0xA101, L"Log level has invalid value"},
    {0xA102, L"Failed to set stack guarantee for a calling thread"},
    {0xA103, L"Failed to write minidump"},
    {0xA104, L"Operation was cancelled"},
    {0xA105, L"Not connected to internet"},
    {0xA106, L"Host unreachable"},
    {0xA107, L"Server is down"},
    {0xA108, L"Proxy login needed"},
    {0xA109, L"HTTP error"},
    {0xA10A, L"Retrying operation"},
    {0xA10B, L"Downloader system error"},
    {0xA10C, L"The product data is invalid"},
    {0xA10D, L"The product condition type has invalid value"},
    {0xA10E, L"The product action type has invalid value"},
    {0xA10F, L"The product selection tree is invalid"},
};

const DWORD kSetupBandMask = 0xF000;
const DWORD kSetupBand = 0xA000;
const DWORD kEnglishUnitedStates = 0x0409;

std::wstring SystemDescription(DWORD code) {
    wchar_t* raw = nullptr;
    const DWORD count = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, kEnglishUnitedStates, reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
    const UniqueLocalMemory owner(raw);
    if (count == 0 || raw == nullptr)
        return std::wstring();

    // The system's texts end in a line break.
    std::wstring text(raw, count);
    const size_t last = text.find_last_not_of(L" \t\n\v\f\r");
    text.erase(last == std::wstring::npos ? 0 : last + 1);
    return text;
}

} // namespace

std::wstring ErrorDescription(DWORD code) {
    if ((code & kSetupBandMask) != kSetupBand)
        return SystemDescription(code);
    // The band belongs to the setup framework: the system is not asked about it.
    for (const MessageRow& row : kSetupMessages) {
        if (row.code == code)
            return row.message;
    }
    return std::wstring();
}

std::wstring ErrorText(DWORD code) {
    std::wstring text;
    FormatExactF(text, L"%d (0x%08X)", static_cast<int>(code), static_cast<unsigned int>(code));
    text += L" [";
    text += ErrorDescription(code);
    text += L']';
    return text;
}
