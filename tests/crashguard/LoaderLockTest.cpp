#include "common/UniqueResource.h"
#include "crashguard/CrashGuardState.h"
#include "crashguard/LoaderLock.h"
#include "crashguard/ServiceAccount.h"

#include <gtest/gtest.h>

namespace {

struct HeldLoaderLock {
    HANDLE held;
    HANDLE release;
};

DWORD WINAPI HoldLoaderLock(void* context) {
    auto* lock = static_cast<HeldLoaderLock*>(context);
    ULONG_PTR cookie = 0;
    if (g_crashGuard.ldrLockLoaderLock(0, nullptr, &cookie) != 0)
        return 1;
    SetEvent(lock->held);
    WaitForSingleObject(lock->release, INFINITE);
    g_crashGuard.ldrUnlockLoaderLock(0, cookie);
    return 0;
}

} // namespace

TEST(CrashGuardLoaderLock, ProbeTellsOnlyAnotherThreadsHoldAsBusy) {
    bool busy = true;
    g_crashGuard.loaderLockFunctionsFound = false;
    EXPECT_EQ(ProbeLoaderLock(&busy), static_cast<DWORD>(ERROR_NOT_SUPPORTED));

    ASSERT_TRUE(FindLoaderLockFunctions());
    EXPECT_EQ(ProbeLoaderLock(nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    EXPECT_EQ(ProbeLoaderLock(&busy), 0u);
    EXPECT_FALSE(busy);

    // Held by this thread: the lock is recursive, so the probe takes it and gives it back.
    ULONG_PTR cookie = 0;
    ASSERT_EQ(g_crashGuard.ldrLockLoaderLock(0, nullptr, &cookie), 0);
    busy = true;
    EXPECT_EQ(ProbeLoaderLock(&busy), 0u);
    EXPECT_FALSE(busy);
    g_crashGuard.ldrUnlockLoaderLock(0, cookie);

    UniqueHandle held(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HeldLoaderLock lock = {held.Get(), release.Get()};
    UniqueHandle holder(CreateThread(nullptr, 0, &HoldLoaderLock, &lock, 0, nullptr));
    ASSERT_EQ(WaitForSingleObject(held.Get(), 10000), WAIT_OBJECT_0);
    busy = false;
    EXPECT_EQ(ProbeLoaderLock(&busy), 0u);
    EXPECT_TRUE(busy);
    SetEvent(release.Get());
    WaitForSingleObject(holder.Get(), 10000);

    // Given back after each probe: the lock is free again.
    EXPECT_EQ(ProbeLoaderLock(&busy), 0u);
    EXPECT_FALSE(busy);
}

TEST(CrashGuardServiceAccount, AnOrdinaryAdministratorIsNoServiceAccount) {
    // The test user is S-1-5-21-...: none of LocalSystem, LocalService, NetworkService.
    EXPECT_FALSE(IsServiceAccount());
}
