#include "tools/launcher/ChildProcess.h"

#include <cwchar>

#include "common/UniqueResource.h"

namespace {

bool SameName(const std::wstring& entry, const std::wstring& name) {
    return entry.size() > name.size() && entry[name.size()] == L'=' &&
           _wcsnicmp(entry.c_str(), name.c_str(), name.size()) == 0;
}

// This process's environment with the given variables set, as a CreateProcessW block.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& changes) {
    std::vector<std::wstring> entries;
    if (wchar_t* strings = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1)
            entries.emplace_back(entry);
        FreeEnvironmentStringsW(strings);
    }
    for (const auto& change : changes) {
        bool replaced = false;
        for (std::wstring& entry : entries) {
            if (SameName(entry, change.first)) {
                entry = change.first + L"=" + change.second;
                replaced = true;
            }
        }
        if (!replaced)
            entries.push_back(change.first + L"=" + change.second);
    }
    std::wstring block;
    for (const std::wstring& entry : entries)
        block.append(entry).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

// Moves what the pipe holds now into `text`, without waiting for more.
void Drain(HANDLE pipe, std::string& text) {
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char buffer[4096];
        DWORD read = 0;
        if (!ReadFile(pipe, buffer, available < sizeof buffer ? available : sizeof buffer, &read,
                      nullptr) ||
            read == 0)
            return;
        text.append(buffer, read);
    }
}

struct Pipe {
    UniqueHandle read;
    UniqueHandle write;
};

DWORD CreateInheritablePipe(Pipe& pipe) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    if (!CreatePipe(pipe.read.Put(), pipe.write.Put(), &inheritable, 0))
        return GetLastError();
    if (!SetHandleInformation(pipe.read.Get(), HANDLE_FLAG_INHERIT, 0))
        return GetLastError();
    return ERROR_SUCCESS;
}

} // namespace

DWORD RunChildProcess(const std::wstring& commandLine, const ChildProcessOptions& options,
                      ChildProcessResult& result) {
    result = ChildProcessResult();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;

    Pipe output;
    Pipe error;
    UniqueFileHandle input;
    if (options.captureOutput) {
        if (const DWORD failure = CreateInheritablePipe(output))
            return failure;
        if (const DWORD failure = CreateInheritablePipe(error))
            return failure;
        SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
        input.Reset(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inheritable, OPEN_EXISTING, 0, nullptr));
        if (!input)
            return GetLastError();
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input.Get();
        startup.hStdOutput = output.write.Get();
        startup.hStdError = error.write.Get();
    }

    std::wstring environment;
    DWORD flags = 0;
    if (!options.environment.empty()) {
        environment = EnvironmentBlock(options.environment);
        flags |= CREATE_UNICODE_ENVIRONMENT;
    }

    // CreateProcessW may write into the command line.
    std::wstring mutableLine = commandLine;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(nullptr, &mutableLine[0], nullptr, nullptr, options.captureOutput, flags,
                        environment.empty() ? nullptr : &environment[0], nullptr, &startup,
                        &started))
        return GetLastError();
    const UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
    result.processId = started.dwProcessId;

    if (options.captureOutput) {
        // Only the child holds the write ends now.
        output.write.Reset();
        error.write.Reset();
        input.Reset();
        // Polled rather than read to the end: a process the child starts may inherit the
        // pipes and keep them open long after the child is gone.
        for (;;) {
            Drain(output.read.Get(), result.standardOutput);
            Drain(error.read.Get(), result.standardError);
            if (WaitForSingleObject(process.Get(), 10) == WAIT_OBJECT_0)
                break;
        }
        Drain(output.read.Get(), result.standardOutput);
        Drain(error.read.Get(), result.standardError);
    } else if (WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0) {
        return GetLastError();
    }

    if (!GetExitCodeProcess(process.Get(), &result.exitCode))
        return GetLastError();
    return ERROR_SUCCESS;
}

std::wstring CommandLineAfterProgram(const wchar_t* commandLine) {
    const wchar_t* rest = commandLine;
    if (*rest == L'"') {
        ++rest;
        while (*rest && *rest != L'"')
            ++rest;
        if (*rest)
            ++rest;
    } else {
        while (*rest && *rest != L' ' && *rest != L'\t')
            ++rest;
    }
    while (*rest == L' ' || *rest == L'\t')
        ++rest;
    return rest;
}
