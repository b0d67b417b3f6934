#include <windows.h>

#include <cstdio>

#include "tools/launcher/ChildProcess.h"

// launcher PROGRAM [ARGUMENTS...]: runs the rest of its own command line as it stands,
// waits, prints the whole 32-bit exit code as 0x%08lx and returns its low 8 bits. Wine
// hands only those 8 bits on to the shell that started it.
int wmain() {
    const std::wstring commandLine = CommandLineAfterProgram(GetCommandLineW());
    if (commandLine.empty()) {
        std::fprintf(stderr, "usage: launcher PROGRAM [ARGUMENTS...]\n");
        return 255;
    }
    ChildProcessResult result;
    if (const DWORD error = RunChildProcess(commandLine, ChildProcessOptions(), result)) {
        std::fprintf(stderr, "launcher: cannot run the command line: error %lu (0x%08lx)\n",
                     static_cast<unsigned long>(error), static_cast<unsigned long>(error));
        return 255;
    }
    std::printf("0x%08lx\n", static_cast<unsigned long>(result.exitCode));
    std::fflush(stdout);
    return static_cast<int>(result.exitCode & 0xFF);
}
