#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "netcfg/NetCfgContext.h"
#include "tests/netcfg/FakeNetCfg.h"

namespace {

using Calls = std::vector<std::string>;

const wchar_t* const Description = L"orvel Pinewick";
const DWORD Timeout = 30000;

Calls Join(std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::string N(const char* name, int opening) {
    return name + std::to_string(opening);
}

// The six opening steps of configuration object `opening` for `classTag`.
Calls OpenCalls(int opening, const char* classTag = "NETSERVICE") {
    return {"CoInitializeEx(null, 6)",
            "CoCreateInstance(CNetCfg, null, 0x00000001, INetCfg)",
            N("netCfg", opening) + ".QueryInterface(INetCfgLock)",
            N("lock", opening) + ".AcquireWriteLock(30000, 'orvel Pinewick')",
            N("netCfg", opening) + ".Initialize(null)",
            N("netCfg", opening) + ".QueryNetCfgClass(" + classTag + ", INetCfgClassSetup)"};
}

Calls CloseCalls(int opening) {
    return {N("classSetup", opening) + ".Release",    N("netCfg", opening) + ".Uninitialize",
            N("lock", opening) + ".ReleaseWriteLock", N("lock", opening) + ".Release",
            N("netCfg", opening) + ".Release",        "CoUninitialize"};
}

std::string Install(const char* id, int opening = 1) {
    return N("classSetup", opening) + ".Install('" + id + "', OBO_USER, 0, 0, null, null)";
}
std::string Find(const char* id, int opening = 1) {
    return N("netCfg", opening) + ".FindComponent('" + id + "')";
}
std::string DeInstall(int component, int opening = 1) {
    return N("classSetup", opening) + ".DeInstall(" + N("component", component) +
           ", OBO_USER, null)";
}
std::string Apply(int opening = 1) {
    return N("netCfg", opening) + ".Apply";
}
std::string Released(int component) {
    return N("component", component) + ".Release";
}

TEST(NetCfgContext, ConstructionAndCloseOfAnUnopenedContextCallNothing) {
    FakeNetCfg fake;
    {
        NetCfgContext context(Description, Timeout, fake.Platform());
        const HRESULT saved[] = {context.HrCoInitialize(), context.HrCreate(),
                                 context.HrQueryLock(),    context.HrAcquireLock(),
                                 context.HrInitialize(),   context.HrQueryClass()};
        for (HRESULT hr : saved)
            EXPECT_EQ(E_UNEXPECTED, hr);
        context.Close();
    }
    EXPECT_EQ(Calls{}, fake.calls);
}

TEST(NetCfgContext, InstallOpensInstallsAndCommitsAndHoldsTheLockUntilClose) {
    FakeNetCfg fake;
    NetCfgContext context(Description, Timeout, fake.Platform());

    EXPECT_EQ(S_OK, context.InstallComponent(&GUID_DEVCLASS_NETSERVICE, L"ms_pinefilter"));
    EXPECT_EQ(Join({OpenCalls(1), {Install("ms_pinefilter"), Apply(), Released(1)}}), fake.calls);
    const HRESULT saved[] = {context.HrCoInitialize(), context.HrCreate(),
                             context.HrQueryLock(),    context.HrAcquireLock(),
                             context.HrInitialize(),   context.HrQueryClass()};
    for (HRESULT hr : saved)
        EXPECT_EQ(S_OK, hr);

    const size_t before = fake.calls.size();
    context.Close();
    EXPECT_EQ(CloseCalls(1), fake.CallsFrom(before));
    context.Close();
    EXPECT_EQ(before + CloseCalls(1).size(), fake.calls.size()) << "a second Close acted";
    // Close leaves the saved results alone.
    EXPECT_EQ(S_OK, context.HrQueryClass());
    EXPECT_EQ("", fake.Leaks());
}

TEST(NetCfgContext, InstallResultIsInstallFailureOrApplyFailureOrSuccess) {
    struct Case {
        const char* name;
        HRESULT install;
        HRESULT apply;
        HRESULT expected;
        bool applied;
    };
    const Case cases[] = {
        {"install refused", NETCFG_E_MAX_FILTER_LIMIT, S_OK, NETCFG_E_MAX_FILTER_LIMIT, false},
        {"apply fails", S_OK, E_ACCESSDENIED, E_ACCESSDENIED, true},
        {"apply asks for a restart", S_OK, NETCFG_S_REBOOT, S_OK, true},
        {"install asks for a restart", NETCFG_S_REBOOT, S_OK, S_OK, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeNetCfg fake;
        fake.installResult = c.install;
        fake.applyResult = c.apply;
        {
            NetCfgContext context(Description, Timeout, fake.Platform());
            EXPECT_EQ(HexResult(c.expected),
                      HexResult(context.InstallComponent(&GUID_DEVCLASS_NET, L"pine_adapter")));
            Calls expected = Join({OpenCalls(1, "NET"), {Install("pine_adapter")}});
            if (c.applied)
                expected.insert(expected.end(), {Apply(), Released(1)});
            EXPECT_EQ(expected, fake.calls);
        }
        EXPECT_EQ("", fake.Leaks());
    }
}

// A failing opening step: every operation returns its result and goes no further, and
// Close undoes exactly the steps before it.
TEST(NetCfgContext, FailedOpeningStepIsReturnedAndCloseUndoesOnlyTheStepsBefore) {
    struct Case {
        const char* name;
        int step;
        HRESULT answer;
        HRESULT expected;
        Calls close;
    };
    const Case cases[] = {
        {"CoInitializeEx", 0, RPC_E_CHANGED_MODE, RPC_E_CHANGED_MODE, {}},
        {"CoCreateInstance", 1, REGDB_E_CLASSNOTREG, REGDB_E_CLASSNOTREG, {"CoUninitialize"}},
        {"QueryInterface", 2, E_NOINTERFACE, E_NOINTERFACE, {"netCfg1.Release", "CoUninitialize"}},
        {"lock kept by another client",
         3,
         S_FALSE,
         NETCFG_E_NO_WRITE_LOCK,
         {"lock1.Release", "netCfg1.Release", "CoUninitialize"}},
        {"AcquireWriteLock",
         3,
         E_ACCESSDENIED,
         E_ACCESSDENIED,
         {"lock1.Release", "netCfg1.Release", "CoUninitialize"}},
        {"Initialize",
         4,
         NETCFG_E_IN_USE,
         NETCFG_E_IN_USE,
         {"lock1.ReleaseWriteLock", "lock1.Release", "netCfg1.Release", "CoUninitialize"}},
        {"QueryNetCfgClass",
         5,
         E_NOTIMPL,
         E_NOTIMPL,
         {"netCfg1.Uninitialize", "lock1.ReleaseWriteLock", "lock1.Release", "netCfg1.Release",
          "CoUninitialize"}},
    };
    enum Operation { OpenOnly, Install, Uninstall };
    for (const Case& c : cases) {
        for (Operation operation : {OpenOnly, Install, Uninstall}) {
            SCOPED_TRACE(std::string(c.name) + ", operation " + std::to_string(operation));
            FakeNetCfg fake;
            HRESULT* answers[] = {&fake.coInitializeResult, &fake.createResult,
                                  &fake.queryLockResult,    &fake.acquireLockResult,
                                  &fake.initializeResult,   &fake.queryClassResult};
            *answers[c.step] = c.answer;
            fake.installed = 1;
            {
                NetCfgContext context(Description, Timeout, fake.Platform());
                HRESULT hr = E_UNEXPECTED;
                if (operation == OpenOnly)
                    hr = context.Open(&GUID_DEVCLASS_NETSERVICE);
                else if (operation == Install)
                    hr = context.InstallComponent(&GUID_DEVCLASS_NETSERVICE, L"ms_pinefilter");
                else
                    hr = context.UninstallComponent(&GUID_DEVCLASS_NETSERVICE, L"ms_pinefilter");
                EXPECT_EQ(HexResult(c.expected), HexResult(hr));

                const Calls opening = OpenCalls(1);
                EXPECT_EQ(Calls(opening.begin(), opening.begin() + c.step + 1), fake.calls);
                const HRESULT saved[] = {context.HrCoInitialize(), context.HrCreate(),
                                         context.HrQueryLock(),    context.HrAcquireLock(),
                                         context.HrInitialize(),   context.HrQueryClass()};
                for (int step = 0; step < 6; ++step)
                    EXPECT_EQ(HexResult(step < c.step    ? S_OK
                                        : step == c.step ? c.answer
                                                         : E_UNEXPECTED),
                              HexResult(saved[step]))
                        << "step " << step;

                const size_t before = fake.calls.size();
                context.Close();
                EXPECT_EQ(c.close, fake.CallsFrom(before));
            }
            EXPECT_EQ(c.step + 1 + c.close.size(), fake.calls.size()) << "destruction acted";
            EXPECT_EQ("", fake.Leaks());
        }
    }
}

TEST(NetCfgContext, ApartmentAlreadyInitializedIsStillUninitializedOnce) {
    FakeNetCfg fake;
    fake.coInitializeResult = S_FALSE;
    {
        NetCfgContext context(Description, Timeout, fake.Platform());
        EXPECT_EQ(S_OK, context.Open(&GUID_DEVCLASS_NETSERVICE));
        context.Close();
    }
    EXPECT_EQ(Join({OpenCalls(1), CloseCalls(1)}), fake.calls);
}

// Records every block CoTaskMemFree is given while registered.
class FreeSpy : public IMallocSpy {
public:
    std::vector<void*> freed;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IMallocSpy) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override { return actual; }
    void* STDMETHODCALLTYPE PreFree(void* request, WINBOOL) override {
        freed.push_back(request);
        return request;
    }
    void STDMETHODCALLTYPE PostFree(WINBOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest,
                                        WINBOOL) override {
        *newRequest = request;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* actual, WINBOOL) override { return actual; }
    void* STDMETHODCALLTYPE PreGetSize(void* request, WINBOOL) override { return request; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, WINBOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* request, WINBOOL) override { return request; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, WINBOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}
};

TEST(NetCfgContext, LockHolderTextIsFreedWithCoTaskMemFree) {
    FreeSpy spy;
    ASSERT_EQ(S_OK, ::CoRegisterMallocSpy(&spy));
    struct Revoke {
        ~Revoke() { EXPECT_EQ(S_OK, ::CoRevokeMallocSpy()); }
    } revoke;
    FakeNetCfg fake;
    fake.lockHolder = L"another client";
    auto freedOnce = [&spy](void* text) {
        const auto count = std::count(spy.freed.begin(), spy.freed.end(), text);
        spy.freed.clear();
        return count == 1;
    };
    {
        NetCfgContext context(Description, Timeout, fake.Platform());
        fake.acquireLockResult = S_FALSE;
        EXPECT_EQ(NETCFG_E_NO_WRITE_LOCK, context.Open(&GUID_DEVCLASS_NET));
        context.Close();
        ASSERT_EQ(1u, fake.lockHolders.size());
        EXPECT_TRUE(freedOnce(fake.lockHolders.back())) << "refused";

        fake.acquireLockResult = S_OK;
        EXPECT_EQ(S_OK, context.Open(&GUID_DEVCLASS_NET));
        EXPECT_EQ(S_OK, context.Open(&GUID_DEVCLASS_NET));
        ASSERT_EQ(3u, fake.lockHolders.size());
        EXPECT_TRUE(freedOnce(fake.lockHolders[1])) << "reopened";
    }
    EXPECT_TRUE(freedOnce(fake.lockHolders.back())) << "destroyed";
}

TEST(NetCfgContext, UninstallRemovesEveryInstanceAndAlwaysCommits) {
    struct Case {
        const char* name;
        int installed;
        HRESULT findFailure;
        HRESULT deInstall;
        HRESULT apply;
        HRESULT expected;
        Calls calls; // after the opening
    };
    const char* id = "ms_pinefilter";
    const Case cases[] = {
        {"not installed", 0, S_OK, S_OK, S_OK, S_OK, {Find(id), Apply()}},
        {"not installed, Apply fails",
         0,
         S_OK,
         S_OK,
         E_ACCESSDENIED,
         E_ACCESSDENIED,
         {Find(id), Apply()}},
        {"installed twice",
         2,
         S_OK,
         S_OK,
         S_OK,
         S_OK,
         {Find(id), DeInstall(1), Find(id), DeInstall(2), Find(id), Apply(), Released(1),
          Released(2)}},
        {"Apply asks for a restart",
         1,
         S_OK,
         S_OK,
         NETCFG_S_REBOOT,
         S_OK,
         {Find(id), DeInstall(1), Find(id), Apply(), Released(1)}},
        {"DeInstall fails",
         2,
         S_OK,
         NETCFG_E_IN_USE,
         S_OK,
         NETCFG_E_IN_USE,
         {Find(id), DeInstall(1), Apply(), Released(1)}},
        {"DeInstall and Apply fail",
         2,
         S_OK,
         NETCFG_E_IN_USE,
         E_ACCESSDENIED,
         E_ACCESSDENIED,
         {Find(id), DeInstall(1), Apply(), Released(1)}},
        {"FindComponent fails", 1, E_OUTOFMEMORY, S_OK, S_OK, E_OUTOFMEMORY, {Find(id), Apply()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeNetCfg fake;
        fake.installed = c.installed;
        fake.findFailure = c.findFailure;
        fake.deInstallResult = c.deInstall;
        fake.applyResult = c.apply;
        {
            NetCfgContext context(Description, Timeout, fake.Platform());
            EXPECT_EQ(HexResult(c.expected), HexResult(context.UninstallComponent(
                                                 &GUID_DEVCLASS_NETSERVICE, L"ms_pinefilter")));
            EXPECT_EQ(Join({OpenCalls(1), c.calls}), fake.calls);
        }
        EXPECT_EQ("", fake.Leaks());
    }
}

// A component that DeInstall reports as removed but FindComponent keeps finding is given
// up after 64 removals; one really installed 64 times is removed completely.
TEST(NetCfgContext, RemovalLoopIsBounded) {
    struct Case {
        const char* name;
        bool removes;
        HRESULT expected;
    };
    const Case cases[] = {
        {"found forever", false, HRESULT_FROM_WIN32(ERROR_RETRY)},
        {"installed 64 times", true, S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeNetCfg fake;
        fake.installed = 64;
        fake.deInstallRemoves = c.removes;
        {
            NetCfgContext context(Description, Timeout, fake.Platform());
            EXPECT_EQ(HexResult(c.expected),
                      HexResult(context.UninstallComponent(&GUID_DEVCLASS_NET, L"pine_adapter")));
            Calls expected = OpenCalls(1, "NET");
            for (int pass = 1; pass <= 64; ++pass)
                expected.insert(expected.end(), {Find("pine_adapter"), DeInstall(pass)});
            expected.push_back(Find("pine_adapter"));
            expected.push_back(Apply());
            const int received = c.removes ? 64 : 65;
            for (int component = 1; component <= received; ++component)
                expected.push_back(Released(component));
            EXPECT_EQ(expected, fake.calls);
        }
        EXPECT_EQ("", fake.Leaks());
    }
}

TEST(NetCfgContext, ReopeningGivesTheEarlierOpeningBackFirst) {
    FakeNetCfg fake;
    fake.installed = 1;
    {
        NetCfgContext context(Description, Timeout, fake.Platform());
        EXPECT_EQ(S_OK, context.InstallComponent(&GUID_DEVCLASS_NET, L"pine_adapter"));
        const size_t second = fake.calls.size();
        EXPECT_EQ(S_OK, context.UninstallComponent(&GUID_DEVCLASS_NETSERVICE, L"ms_pinefilter"));
        EXPECT_EQ(Join({CloseCalls(1),
                        OpenCalls(2),
                        {Find("ms_pinefilter", 2), DeInstall(2, 2), Find("ms_pinefilter", 2),
                         Apply(2), Released(2)}}),
                  fake.CallsFrom(second));
        const size_t close = fake.calls.size();
        context.Close();
        EXPECT_EQ(CloseCalls(2), fake.CallsFrom(close));
    }
    EXPECT_EQ("", fake.Leaks());
}

// A reopening that fails early must not undo steps that only the earlier opening reached.
TEST(NetCfgContext, FailedReopeningClosesOnlyItsOwnSteps) {
    FakeNetCfg fake;
    NetCfgContext context(Description, Timeout, fake.Platform());
    ASSERT_EQ(S_OK, context.Open(&GUID_DEVCLASS_NET));
    fake.acquireLockResult = E_ACCESSDENIED;
    const size_t second = fake.calls.size();

    EXPECT_EQ(E_ACCESSDENIED, context.Open(&GUID_DEVCLASS_NET));
    EXPECT_EQ(E_UNEXPECTED, context.HrInitialize());
    EXPECT_EQ(E_UNEXPECTED, context.HrQueryClass());
    context.Close();

    const Calls reopen = OpenCalls(2, "NET");
    EXPECT_EQ(Join({CloseCalls(1),
                    Calls(reopen.begin(), reopen.begin() + 4),
                    {"lock2.Release", "netCfg2.Release", "CoUninitialize"}}),
              fake.CallsFrom(second));
    EXPECT_EQ("", fake.Leaks());
}

TEST(NetCfgContext, DestructionCloses) {
    FakeNetCfg fake;
    {
        NetCfgContext context(Description, Timeout, fake.Platform());
        EXPECT_EQ(NETCFG_E_MAX_FILTER_LIMIT, [&] {
            fake.installResult = NETCFG_E_MAX_FILTER_LIMIT;
            return context.InstallComponent(&GUID_DEVCLASS_NETSERVICE, L"ms_pinefilter");
        }());
    }
    EXPECT_EQ(Join({OpenCalls(1), {Install("ms_pinefilter")}, CloseCalls(1)}), fake.calls);
    EXPECT_EQ("", fake.Leaks());
}

// Wine's own configuration object answers E_NOTIMPL from QueryNetCfgClass.
TEST(NetCfgContextOnWine, InstallReturnsTheClassFailureAndCloseGivesEverythingBack) {
    NetCfgContext context(Description, Timeout);
    // Twice: a reopening must not leave the earlier opening's apartment behind.
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(HexResult(E_NOTIMPL),
                  HexResult(context.InstallComponent(&GUID_DEVCLASS_NETSERVICE, L"ms_pinefilter")));
        EXPECT_EQ(S_OK, context.HrCoInitialize());
        EXPECT_EQ(S_OK, context.HrAcquireLock());
        EXPECT_EQ(S_OK, context.HrInitialize());
        EXPECT_EQ(E_NOTIMPL, context.HrQueryClass());
    }
    context.Close();
    // The apartment is gone: this thread may now enter the multithreaded one.
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(HexResult(S_OK), HexResult(hr));
    if (SUCCEEDED(hr))
        ::CoUninitialize();
}

} // namespace
