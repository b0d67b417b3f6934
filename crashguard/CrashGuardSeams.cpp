#include "crashguard/CrashGuardSeams.h"

#include "crashguard/ServiceAccount.h"

#include <assert.h>

CrashGuardSeams g_crashGuardSeams = {&GetSystemMetrics, &IsServiceAccount, &_wassert};
