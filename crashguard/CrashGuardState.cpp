#include "crashguard/CrashGuardState.h"

CrashGuardState g_crashGuard{};
