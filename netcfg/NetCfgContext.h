#pragma once

#include <windows.h>
#include <objbase.h>

#include <devguid.h>
#include <netcfgx.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <string>

// The COM calls behind a context. The commands use the system's; tests hand in their own
// to reach the network-configuration objects through fakes.
struct NetCfgPlatform {
    std::function<HRESULT(LPVOID reserved, DWORD flags)> coInitializeEx;
    std::function<HRESULT(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                          LPVOID* object)>
        coCreateInstance;
    std::function<void()> coUninitialize;
};

// CoInitializeEx, CoCreateInstance and CoUninitialize.
const NetCfgPlatform& SystemNetCfgPlatform();

// One use of the network-configuration interfaces: COM on the calling thread, the
// configuration object, its write lock and the class-setup interface of one class. Logs
// nothing; the callers decide what a result means. Used on one thread only.
class NetCfgContext {
public:
    NetCfgContext(const std::wstring& description, DWORD lockTimeoutMs,
                  const NetCfgPlatform& platform = SystemNetCfgPlatform());
    ~NetCfgContext();
    NetCfgContext(const NetCfgContext&) = delete;
    NetCfgContext& operator=(const NetCfgContext&) = delete;

    // S_OK, or the result of the first step that failed; NETCFG_E_NO_WRITE_LOCK when
    // another client kept the write lock past the time-out. A context that already holds an
    // opening gives it back first, as Close would.
    HRESULT Open(const GUID* classGuid);

    // Gives back what the latest opening acquired, in reverse order. Closing twice is
    // harmless.
    void Close();

    // Open, install, commit. The context stays open until Close.
    HRESULT InstallComponent(const GUID* classGuid, const std::wstring& componentId);

    // Open, remove every installed instance of the component, commit. The context stays
    // open until Close.
    HRESULT UninstallComponent(const GUID* classGuid, const std::wstring& componentId);

    // Passes of the removal loop after which a component that is still found is given up.
    static const unsigned MaxRemovalPasses = 64;

    // What the steps of the latest opening gave; E_UNEXPECTED for a step not reached.
    HRESULT HrCoInitialize() const { return hrCoInitialize_; }
    HRESULT HrCreate() const { return hrCreate_; }
    HRESULT HrQueryLock() const { return hrQueryLock_; }
    HRESULT HrAcquireLock() const { return hrAcquireLock_; }
    HRESULT HrInitialize() const { return hrInitialize_; }
    HRESULT HrQueryClass() const { return hrQueryClass_; }

private:
    struct CoTaskMemDeleter {
        void operator()(wchar_t* text) const noexcept { ::CoTaskMemFree(text); }
    };

    HRESULT OpenSteps(const GUID* classGuid);
    void ResetResults();

    std::wstring description_;
    DWORD lockTimeoutMs_;
    HRESULT hrCoInitialize_;
    HRESULT hrCreate_;
    HRESULT hrQueryLock_;
    HRESULT hrAcquireLock_;
    HRESULT hrInitialize_;
    HRESULT hrQueryClass_;
    Microsoft::WRL::ComPtr<INetCfg> netCfg_;
    Microsoft::WRL::ComPtr<INetCfgLock> lock_;
    Microsoft::WRL::ComPtr<INetCfgClassSetup> classSetup_;
    std::unique_ptr<wchar_t, CoTaskMemDeleter> lockHolder_;
    // The saved results outlive Close, so they cannot tell whether COM is still ours to
    // uninitialize; this can.
    bool comInitialized_;
    NetCfgPlatform platform_;
};
