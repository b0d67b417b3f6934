#include "log/LogFile.h"

#include <winioctl.h>

namespace {

const LogComponent kLoggerComponent(L"LOGGER");

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Best effort: a volume that cannot compress keeps the file as it is.
void RequestCompression(const wchar_t* path) {
    UniqueFileHandle file(::CreateFileW(path, FILE_READ_DATA | FILE_WRITE_DATA, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    USHORT format = COMPRESSION_FORMAT_DEFAULT;
    DWORD returned = 0;
    ::DeviceIoControl(file.Get(), FSCTL_SET_COMPRESSION, &format, sizeof(format), nullptr, 0,
                      &returned, nullptr);
}

void WriteRaw(Logger& logger, const void* data, DWORD size) {
    DWORD written = 0;
    logger.platform.writeFile(logger.file.Get(), data, size, &written, nullptr);
}

} // namespace

DWORD OpenLogFile(Logger& logger, const wchar_t* path) {
    if (path == nullptr)
        return ERROR_BAD_ARGUMENTS;

    boost::recursive_mutex::scoped_lock guard(logger.lock);
    // A second open must not leak the first handle.
    logger.file.Reset();

    // FILE_APPEND_DATA alone: every write lands at the current end of the file, whoever
    // else writes to it.
    logger.file.Reset(::CreateFileW(path, FILE_APPEND_DATA, kShareAll, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = ::GetLastError();
    if (!logger.file) {
        LogMessage(logger, LogLevelError, kLoggerComponent,
                   L"Failed to open the log file \"%s\" with error 0x%08lx!", path,
                   static_cast<unsigned long>(error));
        return error;
    }

    // OPEN_ALWAYS leaves ERROR_ALREADY_EXISTS for a file that was there: only a file created
    // now gets the byte-order mark.
    if (error == ERROR_SUCCESS) {
        RequestCompression(path);
        const WCHAR byteOrderMark = 0xFEFF;
        WriteRaw(logger, &byteOrderMark, sizeof(byteOrderMark));
    }

    for (const LogRecord& record : logger.records) {
        const SharedText line = FormatTerminatedLogLine(record);
        WriteRaw(logger, line.chars.get(), static_cast<DWORD>(line.length * sizeof(wchar_t)));
    }
    return ERROR_SUCCESS;
}
