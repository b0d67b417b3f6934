#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

struct ChildProcessOptions {
    // Set in the child's environment on top of this process's own, replacing a variable of
    // the same name.
    std::vector<std::pair<std::wstring, std::wstring>> environment;
    // Read the child's standard output and error through pipes; its input is then NUL.
    // Otherwise the child inherits nothing. Wine's own debug output does not arrive here:
    // Wine gives a child the standard input and output named here, but always its parent's
    // Unix standard error, where the debug channels print.
    bool captureOutput = false;
};

struct ChildProcessResult {
    // The whole 32-bit code from GetExitCodeProcess, which a shell would cut to 8 bits.
    DWORD exitCode = 0;
    DWORD processId = 0;
    std::string standardOutput;
    std::string standardError;
};

// Starts `commandLine` exactly as given (no quoting is added; CreateProcessW finds the
// program in it), waits for the process to end and reads its exit code. Returns 0, or the
// Win32 error of the step that failed.
DWORD RunChildProcess(const std::wstring& commandLine, const ChildProcessOptions& options,
                      ChildProcessResult& result);

// What follows the program path in a process command line, with the blanks after the path
// skipped. The path ends as the C runtime ends argv[0]: at the closing quote when it begins
// with one, else at the first blank or tab.
std::wstring CommandLineAfterProgram(const wchar_t* commandLine);
