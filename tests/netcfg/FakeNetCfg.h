#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "netcfg/NetCfgContext.h"

// Fake network-configuration objects. Each CoCreateInstance makes a new configuration
// object with its own lock and class-setup objects ("netCfg1", "lock1", "classSetup1", then
// "netCfg2", ...); each component FindComponent or Install hands out is new as well
// ("component1", ...). Every call is written to `calls` with its arguments, so a test can
// compare whole sequences, and every object keeps a reference count that must end at zero.
// The objects belong to the FakeNetCfg, not to their reference counts.
class FakeNetCfg {
public:
    // What the fakes answer.
    HRESULT coInitializeResult = S_OK;
    HRESULT createResult = S_OK;
    HRESULT queryLockResult = S_OK;
    HRESULT acquireLockResult = S_OK;
    // When set, AcquireWriteLock hands out a CoTaskMemAlloc copy of it.
    const wchar_t* lockHolder = nullptr;
    HRESULT initializeResult = S_OK;
    HRESULT queryClassResult = S_OK;
    HRESULT installResult = S_OK;
    HRESULT applyResult = S_OK;
    // FindComponent fails with this when it is a failure; otherwise it finds a component
    // while `installed` is above zero.
    HRESULT findFailure = S_OK;
    int installed = 0;
    HRESULT deInstallResult = S_OK;
    // A succeeding DeInstall takes one instance away unless this is false.
    bool deInstallRemoves = true;

    std::vector<std::string> calls;
    // The lock-holder texts handed out, in order.
    std::vector<void*> lockHolders;

    FakeNetCfg();
    ~FakeNetCfg();
    FakeNetCfg(const FakeNetCfg&) = delete;
    FakeNetCfg& operator=(const FakeNetCfg&) = delete;

    NetCfgPlatform Platform();

    // "" when every object's reference count is back at zero, else the objects that are
    // still referenced, with their counts.
    std::string Leaks() const;

    // The calls from `from` on.
    std::vector<std::string> CallsFrom(size_t from) const;

    class Object;
    class Component;
    class ClassSetup;
    class Lock;
    class Config;

    // Used by the fake objects.
    void Log(const std::string& call) { calls.push_back(call); }
    Component* NewComponent();
    std::string NameOf(IUnknown* object) const;

private:
    HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                             LPVOID* object);

    std::deque<std::unique_ptr<Config>> configs_;
    std::deque<std::unique_ptr<Component>> components_;
};

std::string Narrow(const wchar_t* text);
std::string HexResult(HRESULT hr);
