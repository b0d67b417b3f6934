// Whole-process time of "pinewick.exe /install" with nothing to do, against a program that
// only returns 0, and against one that only looks up the common application-data folder as
// pinewick.exe must: each is started, waited for and its exit code read, in turns, under the
// same warm Wine server. Goal: at most 1.2 times the minimal program.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/launcher/ChildProcess.h"

namespace {

std::wstring WindowsPath(const char* hostPath) {
    std::wstring path(hostPath, hostPath + std::strlen(hostPath));
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return hostPath[0] == '/' ? L"Z:" + path : path;
}

double Now() {
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Milliseconds for one start, wait and exit code; negative when the run failed.
double TimeRun(const std::wstring& commandLine) {
    ChildProcessResult result;
    const double start = Now();
    const DWORD error = RunChildProcess(commandLine, ChildProcessOptions(), result);
    const double end = Now();
    if (error != 0 || result.exitCode != 0) {
        std::fprintf(stderr, "run failed: error %lu, exit code 0x%08lx\n",
                     static_cast<unsigned long>(error),
                     static_cast<unsigned long>(result.exitCode));
        return -1;
    }
    return (end - start) * 1000.0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Mean(const std::vector<double>& values) {
    double sum = 0;
    for (double value : values)
        sum += value;
    return sum / static_cast<double>(values.size());
}

} // namespace

struct Program {
    const char* name;
    std::wstring commandLine;
    std::vector<double> times;
};

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    Program programs[] = {
        {"minimal program", L"\"" + WindowsPath(MINIMAL_PROGRAM_EXE) + L"\"", {}},
        {"folder lookup only", L"\"" + WindowsPath(FOLDER_LOOKUP_PROGRAM_EXE) + L"\"", {}},
        {"pinewick.exe /install", L"\"" + WindowsPath(PINEWICK_EXE) + L"\" /install", {}},
    };

    // The first starts load Wine's DLLs into the page cache; they are not counted.
    for (int i = 0; i < 3 + runs; ++i) {
        for (Program& program : programs) {
            const double time = TimeRun(program.commandLine);
            if (time < 0)
                return 1;
            if (i >= 3)
                program.times.push_back(time);
        }
    }

    std::printf("runs each: %d\n", runs);
    for (const Program& program : programs)
        std::printf("%-22s median %6.1f ms, mean %6.1f ms\n", program.name, Median(program.times),
                    Mean(program.times));
    const double pinewick = Median(programs[2].times);
    const double ratio = pinewick / Median(programs[0].times);
    std::printf("pinewick / minimal:       %.2f (goal: at most 1.20, %s)\n", ratio,
                ratio <= 1.2 ? "met" : "NOT met");
    std::printf("pinewick / folder lookup: %.2f\n", pinewick / Median(programs[1].times));
    return 0;
}
