#include "log/Logger.h"

#include <cwchar>
#include <utility>

#include "common/WideFormat.h"

namespace {

const wchar_t* const kLevelNames[] = {L"trace",   L"debug", L"info", L"notice",
                                      L"warning", L"error", L"fatal"};
const LogLevel kLevelCount = static_cast<LogLevel>(sizeof(kLevelNames) / sizeof(kLevelNames[0]));

const wchar_t kDefaultSection[] = L"default";
const wchar_t kLevelKey[] = L"level";
const wchar_t kDebuggerKey[] = L"debugger";

// The component's own entry for the key, else the "default" section's, else nothing.
const std::wstring* LookupSetting(const LogSettings& settings, const wchar_t* component,
                                  const wchar_t* key) {
    const wchar_t* const sections[] = {component, kDefaultSection};
    for (const wchar_t* sectionName : sections) {
        const auto section = settings.find(sectionName);
        if (section == settings.end())
            continue;
        const auto value = section->second.find(key);
        if (value != section->second.end())
            return &value->second;
    }
    return nullptr;
}

// The level and switch names are ASCII; the CRT's locale-aware comparison costs more than
// the rest of the level filter together.
bool EqualsIgnoringAsciiCase(const wchar_t* a, const wchar_t* b) {
    for (;; ++a, ++b) {
        wchar_t x = *a, y = *b;
        if (x >= L'A' && x <= L'Z')
            x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z')
            y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y)
            return false;
        if (x == L'\0')
            return true;
    }
}

// The message text, complete or empty: counted first, then formatted once into the
// record's own text.
std::wstring FormatMessageText(const wchar_t* format, va_list args) {
    std::wstring text;
    if (format != nullptr && !FormatExact(text, format, args))
        text.clear();
    return text;
}

size_t DecimalDigits(unsigned long value) {
    size_t digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

// Composes texts of a fixed layout into a buffer sized beforehand. The CRT's wide printf
// costs about a microsecond for a log line; composing the fixed fields directly keeps the
// logger close to the speed of the file writes themselves.
class TextComposer {
public:
    explicit TextComposer(size_t length) : text_(new wchar_t[length + 1]) {}

    void Append(const wchar_t* chars, size_t count) {
        std::wmemcpy(text_.get() + length_, chars, count);
        length_ += count;
    }
    void Append(const wchar_t* chars) { Append(chars, std::wcslen(chars)); }

    // Like "%-Ns": left-aligned, padded with blanks to `width`.
    void AppendLeftAligned(const wchar_t* chars, size_t width) {
        const size_t count = std::wcslen(chars);
        Append(chars, count);
        for (size_t i = count; i < width; ++i)
            text_[length_++] = L' ';
    }

    // Like "%Nlu" (pad ' ') or "%0Nlu" (pad '0'): a longer number takes the room it needs.
    void AppendNumber(unsigned long value, size_t width, wchar_t pad) {
        const size_t digits = DecimalDigits(value);
        for (size_t i = digits; i < width; ++i)
            text_[length_++] = pad;
        for (size_t i = digits; i > 0; --i) {
            text_[length_ + i - 1] = static_cast<wchar_t>(L'0' + value % 10);
            value /= 10;
        }
        length_ += digits;
    }

    SharedText Finish() {
        text_[length_] = L'\0';
        SharedText result;
        result.chars = text_;
        result.length = length_;
        return result;
    }

    static size_t PaddedLength(size_t length, size_t width) {
        return length > width ? length : width;
    }

private:
    boost::shared_array<wchar_t> text_;
    size_t length_ = 0;
};

SYSTEMTIME TimeOfRecord(const LogRecord& record) {
    SYSTEMTIME time = {};
    if (!::FileTimeToSystemTime(&record.time, &time))
        time.wHour = time.wMinute = time.wSecond = 0;
    return time;
}

size_t TimeOfDayLength(const SYSTEMTIME& time) {
    return TextComposer::PaddedLength(DecimalDigits(time.wHour), 2) + 1 +
           TextComposer::PaddedLength(DecimalDigits(time.wMinute), 2) + 1 +
           TextComposer::PaddedLength(DecimalDigits(time.wSecond), 2);
}

// "%02hu:%02hu:%02hu"
void AppendTimeOfDay(TextComposer& text, const SYSTEMTIME& time) {
    text.AppendNumber(time.wHour, 2, L'0');
    text.Append(L":", 1);
    text.AppendNumber(time.wMinute, 2, L'0');
    text.Append(L":", 1);
    text.AppendNumber(time.wSecond, 2, L'0');
}

// "[%s] [%-7s] [%-15s] [%5lu:%5lu] %s" and the terminator.
SharedText ComposeLine(const LogRecord& record, const wchar_t* terminator) {
    const wchar_t* levelName =
        record.level >= 0 && record.level < kLevelCount ? kLevelNames[record.level] : L"none";
    const SYSTEMTIME time = TimeOfRecord(record);
    const unsigned long processId = record.processId;
    const unsigned long threadId = record.threadId;

    const size_t length = 1 + TimeOfDayLength(time) + 3 +
                          TextComposer::PaddedLength(std::wcslen(levelName), 7) + 3 +
                          TextComposer::PaddedLength(std::wcslen(record.component.Text()), 15) + 3 +
                          TextComposer::PaddedLength(DecimalDigits(processId), 5) + 1 +
                          TextComposer::PaddedLength(DecimalDigits(threadId), 5) + 2 +
                          record.message.size() + std::wcslen(terminator);
    TextComposer text(length);
    text.Append(L"[", 1);
    AppendTimeOfDay(text, time);
    text.Append(L"] [", 3);
    text.AppendLeftAligned(levelName, 7);
    text.Append(L"] [", 3);
    text.AppendLeftAligned(record.component.Text(), 15);
    text.Append(L"] [", 3);
    text.AppendNumber(processId, 5, L' ');
    text.Append(L":", 1);
    text.AppendNumber(threadId, 5, L' ');
    text.Append(L"] ", 2);
    text.Append(record.message.data(), record.message.size());
    text.Append(terminator);
    return text.Finish();
}

void WINAPI SystemOutputDebugString(LPCWSTR text) {
    ::OutputDebugStringW(text);
}

void WINAPI SystemGetSystemTimeAsFileTime(LPFILETIME time) {
    ::GetSystemTimeAsFileTime(time);
}

DWORD WINAPI SystemGetCurrentProcessId() {
    return ::GetCurrentProcessId();
}

DWORD WINAPI SystemGetCurrentThreadId() {
    return ::GetCurrentThreadId();
}

} // namespace

LogComponent::LogComponent(const wchar_t* name) : LogComponent(CopyOf(name)) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
}

LogComponent LogComponent::CopyOf(const wchar_t* tag) {
    LogComponent component;
    size_t length = 0;
    if (tag != nullptr) {
        while (length < MaxLength && tag[length] != L'\0') {
            component.text[length] = tag[length];
            ++length;
        }
    }
    for (size_t i = length; i <= MaxLength; ++i)
        component.text[i] = L'\0';
    return component;
}

const LogPlatform& SystemLogPlatform() {
    static const LogPlatform platform = {SystemGetSystemTimeAsFileTime, SystemGetCurrentProcessId,
                                         SystemGetCurrentThreadId, SystemOutputDebugString,
                                         ::WriteFile};
    return platform;
}

Logger::Logger() : Logger(SystemLogPlatform()) {}

Logger::Logger(const LogPlatform& platform_) : platform(platform_) {}

Logger g_logger;

LogLevel LevelFromName(const wchar_t* name) {
    if (name == nullptr)
        return LogLevelInfo;
    for (LogLevel level = 0; level < kLevelCount; ++level) {
        if (EqualsIgnoringAsciiCase(name, kLevelNames[level]))
            return level;
    }
    return LogLevelInfo;
}

bool IsLevelEnabled(const Logger& logger, LogLevel level, const LogComponent& component) {
    const std::wstring* name = LookupSetting(logger.settings, component.Text(), kLevelKey);
    return level >= LevelFromName(name != nullptr ? name->c_str() : L"");
}

bool IsDebuggerOutputEnabled(const Logger& logger, const LogComponent& component) {
    const std::wstring* value = LookupSetting(logger.settings, component.Text(), kDebuggerKey);
    return value != nullptr && EqualsIgnoringAsciiCase(value->c_str(), L"true");
}

std::wstring FormatTimeOfDay(const LogRecord& record) {
    const SYSTEMTIME time = TimeOfRecord(record);
    TextComposer text(TimeOfDayLength(time));
    AppendTimeOfDay(text, time);
    const SharedText result = text.Finish();
    return std::wstring(result.chars.get(), result.length);
}

std::wstring FormatLogLine(const LogRecord& record) {
    const SharedText line = ComposeLine(record, L"");
    return std::wstring(line.chars.get(), line.length);
}

SharedText FormatTerminatedLogLine(const LogRecord& record) {
    return ComposeLine(record, L"\r\n");
}

void LogMessage(Logger& logger, LogLevel level, const LogComponent& component,
                const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    LogMessageV(logger, level, component, format, args);
    va_end(args);
}

void LogMessageV(Logger& logger, LogLevel level, const LogComponent& component,
                 const wchar_t* format, va_list args) {
    if (!IsLevelEnabled(logger, level, component))
        return;
    try {
        SharedText line;
        {
            boost::recursive_mutex::scoped_lock guard(logger.lock);
            LogRecord record;
            record.level = level;
            record.component = LogComponent::CopyOf(component.Text());
            record.message = FormatMessageText(format, args);
            logger.platform.getSystemTimeAsFileTime(&record.time);
            record.processId = logger.platform.getCurrentProcessId();
            record.threadId = logger.platform.getCurrentThreadId();
            logger.records.push_back(std::move(record));
            line = FormatTerminatedLogLine(logger.records.back());
        }

        const bool toDebugger = IsDebuggerOutputEnabled(logger, component);
        if (toDebugger)
            logger.platform.outputDebugString(line.chars.get());

        const HANDLE file = logger.file.Get();
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            const DWORD size = static_cast<DWORD>(line.length * sizeof(wchar_t));
            if (!logger.platform.writeFile(file, line.chars.get(), size, &written, nullptr) &&
                !toDebugger)
                logger.platform.outputDebugString(line.chars.get());
        }
    } catch (...) {
        // Logging never fails toward its caller: out of memory or a lock that cannot be
        // taken loses this line, and a record already appended stays.
    }
}
