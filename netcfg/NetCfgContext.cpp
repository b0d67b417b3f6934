#include <windows.h>
// The network-configuration and device-class GUIDs are defined here, once for the program.
#include <initguid.h>

#include "netcfg/NetCfgContext.h"

#include <utility>
#include <vector>

#include "common/HResult.h"

using Microsoft::WRL::ComPtr;

const NetCfgPlatform& SystemNetCfgPlatform() {
    static const NetCfgPlatform platform = {
        [](LPVOID reserved, DWORD flags) { return ::CoInitializeEx(reserved, flags); },
        [](REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
            return ::CoCreateInstance(clsid, outer, context, iid, object);
        },
        [] { ::CoUninitialize(); },
    };
    return platform;
}

namespace {

// Install and DeInstall get a fresh token each: on behalf of the user, nothing else set.
OBO_TOKEN UserToken() {
    OBO_TOKEN token = {};
    token.Type = OBO_USER;
    return token;
}

} // namespace

NetCfgContext::NetCfgContext(const std::wstring& description, DWORD lockTimeoutMs,
                             const NetCfgPlatform& platform)
    : description_(description), lockTimeoutMs_(lockTimeoutMs), hrCoInitialize_(E_UNEXPECTED),
      hrCreate_(E_UNEXPECTED), hrQueryLock_(E_UNEXPECTED), hrAcquireLock_(E_UNEXPECTED),
      hrInitialize_(E_UNEXPECTED), hrQueryClass_(E_UNEXPECTED), comInitialized_(false),
      platform_(platform) {}

NetCfgContext::~NetCfgContext() {
    Close();
}

void NetCfgContext::ResetResults() {
    hrCoInitialize_ = E_UNEXPECTED;
    hrCreate_ = E_UNEXPECTED;
    hrQueryLock_ = E_UNEXPECTED;
    hrAcquireLock_ = E_UNEXPECTED;
    hrInitialize_ = E_UNEXPECTED;
    hrQueryClass_ = E_UNEXPECTED;
}

HRESULT NetCfgContext::Open(const GUID* classGuid) {
    // An earlier opening's write lock, left held, would make this opening's
    // AcquireWriteLock wait out its whole time-out.
    Close();
    // Results of the earlier opening would make Close undo steps this one never reached.
    ResetResults();
    return OpenSteps(classGuid);
}

HRESULT NetCfgContext::OpenSteps(const GUID* classGuid) {
    hrCoInitialize_ =
        platform_.coInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (FAILED(hrCoInitialize_))
        return hrCoInitialize_;
    comInitialized_ = true;

    hrCreate_ =
        platform_.coCreateInstance(CLSID_CNetCfg, nullptr, CLSCTX_INPROC_SERVER, IID_INetCfg,
                                   reinterpret_cast<LPVOID*>(netCfg_.GetAddressOf()));
    if (FAILED(hrCreate_))
        return hrCreate_;

    hrQueryLock_ =
        netCfg_->QueryInterface(IID_INetCfgLock, reinterpret_cast<void**>(lock_.GetAddressOf()));
    if (FAILED(hrQueryLock_))
        return hrQueryLock_;

    wchar_t* holder = nullptr;
    hrAcquireLock_ = lock_->AcquireWriteLock(lockTimeoutMs_, description_.c_str(), &holder);
    lockHolder_.reset(holder);
    if (FAILED(hrAcquireLock_))
        return hrAcquireLock_;
    if (hrAcquireLock_ == S_FALSE)
        return NETCFG_E_NO_WRITE_LOCK;

    hrInitialize_ = netCfg_->Initialize(nullptr);
    if (FAILED(hrInitialize_))
        return hrInitialize_;

    hrQueryClass_ = netCfg_->QueryNetCfgClass(classGuid, IID_INetCfgClassSetup,
                                              reinterpret_cast<void**>(classSetup_.GetAddressOf()));
    if (FAILED(hrQueryClass_))
        return hrQueryClass_;

    return S_OK;
}

void NetCfgContext::Close() {
    classSetup_.Reset();
    if (netCfg_ && SUCCEEDED(hrInitialize_))
        netCfg_->Uninitialize();
    if (lock_ && hrAcquireLock_ == S_OK)
        lock_->ReleaseWriteLock();
    lock_.Reset();
    lockHolder_.reset();
    netCfg_.Reset();
    if (comInitialized_) {
        comInitialized_ = false;
        platform_.coUninitialize();
    }
}

HRESULT NetCfgContext::InstallComponent(const GUID* classGuid, const std::wstring& componentId) {
    const HRESULT hrOpen = Open(classGuid);
    if (FAILED(hrOpen))
        return hrOpen;

    OBO_TOKEN token = UserToken();
    ComPtr<INetCfgComponent> component;
    const HRESULT hrInstall = classSetup_->Install(componentId.c_str(), &token, 0, 0, nullptr,
                                                   nullptr, component.GetAddressOf());
    if (FAILED(hrInstall))
        return hrInstall;

    // Success values such as NETCFG_S_REBOOT are not passed on.
    const HRESULT hrApply = netCfg_->Apply();
    return FAILED(hrApply) ? hrApply : S_OK;
}

HRESULT NetCfgContext::UninstallComponent(const GUID* classGuid, const std::wstring& componentId) {
    const HRESULT hrOpen = Open(classGuid);
    if (FAILED(hrOpen))
        return hrOpen;

    std::vector<ComPtr<INetCfgComponent>> held;
    HRESULT loopResult = S_OK;
    for (unsigned passes = 0;; ++passes) {
        ComPtr<INetCfgComponent> received;
        const HRESULT hrFind = netCfg_->FindComponent(componentId.c_str(), received.GetAddressOf());
        INetCfgComponent* const component = received.Get();
        if (component)
            held.push_back(std::move(received));
        if (FAILED(hrFind)) {
            loopResult = hrFind;
            break;
        }
        // A component that DeInstall reports as removed but FindComponent keeps finding
        // would otherwise hold the write lock forever.
        if (hrFind == S_OK && passes == MaxRemovalPasses) {
            loopResult = HResultFromWin32(ERROR_RETRY);
            break;
        }
        if (component) {
            OBO_TOKEN token = UserToken();
            const HRESULT hrDeInstall = classSetup_->DeInstall(component, &token, nullptr);
            if (FAILED(hrDeInstall)) {
                loopResult = hrDeInstall;
                break;
            }
        }
        if (hrFind != S_OK)
            break;
    }

    const HRESULT hrApply = netCfg_->Apply();
    for (ComPtr<INetCfgComponent>& component : held)
        component.Reset();
    return FAILED(hrApply) ? hrApply : loopResult;
}
