#include "crashguard/CrashLog.h"

#include "crashguard/CrashGuardState.h"

#include <windows.h>

#include <cstdio>
#include <memory>

namespace {

// The runtime's append mode finds the end and then writes, so two threads appending at once
// can overwrite each other's text. Appends take turns; the owner may append again (a fault
// inside an append is reported with another append), and a waiter that is kept out for too
// long appends all the same rather than hang a crashing process.
volatile LONG g_appendOwner = 0;
constexpr DWORD kAppendWaitMilliseconds = 5000;

class AppendTurn {
public:
    AppendTurn() {
        const LONG self = static_cast<LONG>(GetCurrentThreadId());
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < kAppendWaitMilliseconds) {
            const LONG owner = InterlockedCompareExchange(&g_appendOwner, self, 0);
            if (owner == 0) {
                owned_ = true;
                return;
            }
            if (owner == self)
                return;
            Sleep(1);
        }
    }
    ~AppendTurn() {
        if (owned_)
            InterlockedExchange(&g_appendOwner, 0);
    }
    AppendTurn(const AppendTurn&) = delete;
    AppendTurn& operator=(const AppendTurn&) = delete;

private:
    bool owned_ = false;
};

} // namespace

std::wstring FormCrashLogPath(const std::wstring& folder) {
    std::wstring path = folder;
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    path += L"crash.log";
    return path;
}

void AppendCrashLog(const wchar_t* text) {
    AppendTurn turn;
    const std::unique_ptr<FILE, int (*)(FILE*)> file(
        _wfopen(g_crashGuard.crashLogPath.c_str(), L"a"), &fclose);
    if (file)
        fputws(text, file.get());
}
