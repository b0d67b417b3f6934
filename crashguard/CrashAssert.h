#pragma once

// An assertion that stays active in every build (NDEBUG does not remove it): a violation
// raises the runtime's assertion report, which in a windowed process offers to abort, to
// debug or to ignore. Evaluates to the condition, so that an ignored violation can return.
#define CRASHGUARD_ASSERT(condition)                                                               \
    ((condition) ? true : (ReportCrashGuardAssertion(L"" #condition, __LINE__), false))

void ReportCrashGuardAssertion(const wchar_t* expression, unsigned line);
