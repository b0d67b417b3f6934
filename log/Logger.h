#pragma once

#include <windows.h>

#include <cstdarg>
#include <deque>
#include <functional>
#include <map>
#include <string>

#include <boost/shared_array.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include "common/UniqueResource.h"

// A formatted text in a shared buffer of length + 1 characters (zero-terminated), so that the
// routine that composes a line can hand it on to the writers without copying it.
struct SharedText {
    boost::shared_array<wchar_t> chars;
    size_t length = 0;
};

// Severities, printed and configured by name.
typedef int LogLevel;
const LogLevel LogLevelTrace = 0;
const LogLevel LogLevelDebug = 1;
const LogLevel LogLevelInfo = 2;
const LogLevel LogLevelNotice = 3;
const LogLevel LogLevelWarning = 4;
const LogLevel LogLevelError = 5;
const LogLevel LogLevelFatal = 6;

// A component tag: the first 15 characters of a name, lower-cased by the ASCII rule.
struct LogComponent {
    static const size_t MaxLength = 15;

    LogComponent() { text[0] = L'\0'; }
    explicit LogComponent(const wchar_t* name);

    // A copy of another tag, cut to 15 characters but not lower-cased again.
    static LogComponent CopyOf(const wchar_t* tag);

    const wchar_t* Text() const { return text; }

    wchar_t text[MaxLength + 1];
};

struct LogRecord {
    LogLevel level;
    LogComponent component;
    std::wstring message;
    FILETIME time;
    DWORD processId;
    DWORD threadId;
};

// Section ("default" or a component's tag) -> key -> value; exact, case-sensitive keys.
typedef std::map<std::wstring, std::wstring, std::less<>> LogSection;
typedef std::map<std::wstring, LogSection, std::less<>> LogSettings;

// The operating-system calls behind a log line. The process's logger uses the real ones;
// tests hand in their own to see what cannot be provoked for real.
struct LogPlatform {
    void(WINAPI* getSystemTimeAsFileTime)(LPFILETIME time);
    DWORD(WINAPI* getCurrentProcessId)();
    DWORD(WINAPI* getCurrentThreadId)();
    void(WINAPI* outputDebugString)(LPCWSTR text);
    BOOL(WINAPI* writeFile)
    (HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped);
};

const LogPlatform& SystemLogPlatform();

class Logger {
public:
    Logger();
    explicit Logger(const LogPlatform& platform);
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    boost::recursive_mutex lock;
    LogSettings settings;
    // Every accepted record, kept until the process ends. A deque grows without moving what
    // it holds: a vector's reallocations cost more than formatting a line.
    std::deque<LogRecord> records;
    UniqueFileHandle file;
    const LogPlatform& platform;
};

// The process's one logger, built before the entry runs.
extern Logger g_logger;

// Logs one message. Never fails toward the caller; "%s" in `format` is a wide string.
void LogMessage(Logger& logger, LogLevel level, const LogComponent& component,
                const wchar_t* format, ...);
void LogMessageV(Logger& logger, LogLevel level, const LogComponent& component,
                 const wchar_t* format, va_list args);

bool IsLevelEnabled(const Logger& logger, LogLevel level, const LogComponent& component);
bool IsDebuggerOutputEnabled(const Logger& logger, const LogComponent& component);
LogLevel LevelFromName(const wchar_t* name);

std::wstring FormatLogLine(const LogRecord& record);
std::wstring FormatTimeOfDay(const LogRecord& record);

// The record's line with CR LF, ready for one write.
SharedText FormatTerminatedLogLine(const LogRecord& record);
