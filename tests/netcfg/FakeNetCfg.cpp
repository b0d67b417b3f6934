#include "tests/netcfg/FakeNetCfg.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

std::string GuidName(REFGUID guid) {
    if (guid == CLSID_CNetCfg)
        return "CNetCfg";
    if (guid == IID_INetCfg)
        return "INetCfg";
    if (guid == IID_INetCfgLock)
        return "INetCfgLock";
    if (guid == IID_INetCfgClassSetup)
        return "INetCfgClassSetup";
    if (guid == IID_INetCfgComponent)
        return "INetCfgComponent";
    if (guid == IID_IUnknown)
        return "IUnknown";
    if (guid == GUID_DEVCLASS_NET)
        return "NET";
    if (guid == GUID_DEVCLASS_NETSERVICE)
        return "NETSERVICE";
    return "?";
}

std::string Text(const wchar_t* text) {
    return text ? "'" + Narrow(text) + "'" : "null";
}

// A user token with nothing else set, or "?" for anything else.
std::string Token(const OBO_TOKEN* token) {
    if (!token)
        return "null";
    const bool user = token->Type == OBO_USER && !token->pncc && !token->pszwManufacturer &&
                      !token->pszwProduct && !token->pszwDisplayName && !token->fRegistered;
    return user ? "OBO_USER" : "?";
}

} // namespace

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (; *text; ++text)
        narrow += *text < 0x80 ? static_cast<char>(*text) : '?';
    return narrow;
}

std::string HexResult(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(hr));
    return text;
}

// Reference count and name of one fake object.
class FakeNetCfg::Object {
public:
    Object(FakeNetCfg& world, std::string name) : world(world), name(std::move(name)) {}
    virtual ~Object() = default;
    virtual IUnknown* Unknown() = 0;

    ULONG AddRefImpl() { return static_cast<ULONG>(++refs); }
    ULONG ReleaseImpl() {
        world.Log(name + ".Release");
        if (refs == 0) {
            world.Log(name + ".Release below zero");
            return 0;
        }
        return static_cast<ULONG>(--refs);
    }
    // Answers for its own interface and IUnknown only.
    HRESULT QueryImpl(REFIID iid, REFIID own, void** object) {
        if (iid == own || iid == IID_IUnknown) {
            *object = Unknown();
            AddRefImpl();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    FakeNetCfg& world;
    const std::string name;
    long refs = 0;
};

#define FAKE_IUNKNOWN(iid)                                                                         \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {                \
        return QueryImpl(riid, iid, object);                                                       \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE AddRef() override {                                                    \
        return AddRefImpl();                                                                       \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE Release() override {                                                   \
        return ReleaseImpl();                                                                      \
    }                                                                                              \
    IUnknown* Unknown() override {                                                                 \
        return this;                                                                               \
    }

class FakeNetCfg::Component : public INetCfgComponent, public FakeNetCfg::Object {
public:
    using Object::Object;
    FAKE_IUNKNOWN(IID_INetCfgComponent)

    HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDisplayName(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHelpText(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCharacteristics(LPDWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInstanceGuid(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPnpDevNodeId(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClassGuid(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBindName(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDeviceStatus(ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenParamKey(HKEY*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RaisePropertyUi(HWND, DWORD, IUnknown*) override { return E_NOTIMPL; }
};

class FakeNetCfg::ClassSetup : public INetCfgClassSetup, public FakeNetCfg::Object {
public:
    using Object::Object;
    FAKE_IUNKNOWN(IID_INetCfgClassSetup)

    HRESULT STDMETHODCALLTYPE SelectAndInstall(HWND, OBO_TOKEN*, INetCfgComponent**) override {
        world.Log(name + ".SelectAndInstall");
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE Install(LPCWSTR id, OBO_TOKEN* token, DWORD setupFlags,
                                      DWORD upgradeFrom, LPCWSTR answerFile, LPCWSTR answerSections,
                                      INetCfgComponent** item) override {
        world.Log(name + ".Install(" + Text(id) + ", " + Token(token) + ", " +
                  std::to_string(setupFlags) + ", " + std::to_string(upgradeFrom) + ", " +
                  Text(answerFile) + ", " + Text(answerSections) + ")");
        if (!item)
            return E_POINTER;
        *item = nullptr;
        if (SUCCEEDED(world.installResult)) {
            *item = world.NewComponent();
            (*item)->AddRef();
        }
        return world.installResult;
    }

    HRESULT STDMETHODCALLTYPE DeInstall(INetCfgComponent* component, OBO_TOKEN* token,
                                        LPWSTR* refs) override {
        world.Log(name + ".DeInstall(" + world.NameOf(component) + ", " + Token(token) + ", " +
                  (refs ? "refs" : "null") + ")");
        if (SUCCEEDED(world.deInstallResult) && world.deInstallRemoves && world.installed > 0)
            --world.installed;
        return world.deInstallResult;
    }
};

class FakeNetCfg::Lock : public INetCfgLock, public FakeNetCfg::Object {
public:
    using Object::Object;
    FAKE_IUNKNOWN(IID_INetCfgLock)

    HRESULT STDMETHODCALLTYPE AcquireWriteLock(DWORD timeout, LPCWSTR description,
                                               LPWSTR* holder) override {
        world.Log(name + ".AcquireWriteLock(" + std::to_string(timeout) + ", " + Text(description) +
                  ")");
        if (!holder)
            return E_POINTER;
        *holder = nullptr;
        if (world.lockHolder) {
            const size_t bytes = (std::wcslen(world.lockHolder) + 1) * sizeof(wchar_t);
            *holder = static_cast<LPWSTR>(::CoTaskMemAlloc(bytes));
            std::memcpy(*holder, world.lockHolder, bytes);
            world.lockHolders.push_back(*holder);
        }
        return world.acquireLockResult;
    }

    HRESULT STDMETHODCALLTYPE ReleaseWriteLock() override {
        world.Log(name + ".ReleaseWriteLock");
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE IsWriteLocked(LPWSTR*) override {
        world.Log(name + ".IsWriteLocked");
        return E_NOTIMPL;
    }
};

class FakeNetCfg::Config : public INetCfg, public FakeNetCfg::Object {
public:
    Config(FakeNetCfg& world, int number)
        : Object(world, "netCfg" + std::to_string(number)),
          lock(world, "lock" + std::to_string(number)),
          classSetup(world, "classSetup" + std::to_string(number)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid != IID_INetCfg && iid != IID_IUnknown)
            world.Log(name + ".QueryInterface(" + GuidName(iid) + ")");
        if (iid == IID_INetCfgLock && SUCCEEDED(world.queryLockResult)) {
            *object = static_cast<INetCfgLock*>(&lock);
            lock.AddRefImpl();
            return world.queryLockResult;
        }
        if (iid == IID_INetCfgLock) {
            *object = nullptr;
            return world.queryLockResult;
        }
        return QueryImpl(iid, IID_INetCfg, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    IUnknown* Unknown() override { return static_cast<INetCfg*>(this); }

    HRESULT STDMETHODCALLTYPE Initialize(PVOID reserved) override {
        world.Log(name + ".Initialize(" + (reserved ? "reserved" : "null") + ")");
        return world.initializeResult;
    }
    HRESULT STDMETHODCALLTYPE Uninitialize() override {
        world.Log(name + ".Uninitialize");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Apply() override {
        world.Log(name + ".Apply");
        return world.applyResult;
    }
    HRESULT STDMETHODCALLTYPE Cancel() override {
        world.Log(name + ".Cancel");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumComponents(const GUID*, IEnumNetCfgComponent**) override {
        world.Log(name + ".EnumComponents");
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindComponent(LPCWSTR id, INetCfgComponent** component) override {
        world.Log(name + ".FindComponent(" + Text(id) + ")");
        if (!component)
            return E_POINTER;
        *component = nullptr;
        if (FAILED(world.findFailure))
            return world.findFailure;
        if (world.installed <= 0)
            return S_FALSE;
        *component = world.NewComponent();
        (*component)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryNetCfgClass(const GUID* classGuid, REFIID iid,
                                               void** object) override {
        world.Log(name + ".QueryNetCfgClass(" + (classGuid ? GuidName(*classGuid) : "null") + ", " +
                  GuidName(iid) + ")");
        *object = nullptr;
        if (FAILED(world.queryClassResult))
            return world.queryClassResult;
        if (iid != IID_INetCfgClassSetup)
            return E_NOINTERFACE;
        *object = static_cast<INetCfgClassSetup*>(&classSetup);
        classSetup.AddRefImpl();
        return world.queryClassResult;
    }

    Lock lock;
    ClassSetup classSetup;
};

FakeNetCfg::FakeNetCfg() = default;

FakeNetCfg::~FakeNetCfg() = default;

FakeNetCfg::Component* FakeNetCfg::NewComponent() {
    components_.push_back(
        std::make_unique<Component>(*this, "component" + std::to_string(components_.size() + 1)));
    return components_.back().get();
}

std::string FakeNetCfg::NameOf(IUnknown* object) const {
    if (!object)
        return "null";
    for (const auto& component : components_)
        if (static_cast<INetCfgComponent*>(component.get()) == object)
            return component->name;
    return "?";
}

HRESULT FakeNetCfg::CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                                     LPVOID* object) {
    calls.push_back("CoCreateInstance(" + GuidName(clsid) + ", " + (outer ? "outer" : "null") +
                    ", " + HexResult(static_cast<HRESULT>(context)) + ", " + GuidName(iid) + ")");
    *object = nullptr;
    if (FAILED(createResult))
        return createResult;
    configs_.push_back(std::make_unique<Config>(*this, static_cast<int>(configs_.size() + 1)));
    return configs_.back()->QueryInterface(iid, object);
}

NetCfgPlatform FakeNetCfg::Platform() {
    NetCfgPlatform platform;
    platform.coInitializeEx = [this](LPVOID reserved, DWORD flags) {
        calls.push_back(std::string("CoInitializeEx(") + (reserved ? "reserved" : "null") + ", " +
                        std::to_string(flags) + ")");
        return coInitializeResult;
    };
    platform.coCreateInstance = [this](REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                                       LPVOID* object) {
        return CoCreateInstance(clsid, outer, context, iid, object);
    };
    platform.coUninitialize = [this] { calls.push_back("CoUninitialize"); };
    return platform;
}

std::string FakeNetCfg::Leaks() const {
    std::string leaks;
    auto check = [&leaks](const Object& object) {
        if (object.refs != 0)
            leaks += object.name + "=" + std::to_string(object.refs) + " ";
    };
    for (const auto& config : configs_) {
        check(*config);
        check(config->lock);
        check(config->classSetup);
    }
    for (const auto& component : components_)
        check(*component);
    return leaks;
}

std::vector<std::string> FakeNetCfg::CallsFrom(size_t from) const {
    return std::vector<std::string>(calls.begin() + static_cast<std::ptrdiff_t>(from), calls.end());
}
