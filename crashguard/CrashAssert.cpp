#include "crashguard/CrashAssert.h"

#include "crashguard/CrashGuardSeams.h"

void ReportCrashGuardAssertion(const wchar_t* expression, unsigned line) {
    // Support searches the reports for this source name.
    g_crashGuardSeams.reportAssertion(expression, L"crashguard\\crashhandler", line);
}
