#pragma once

#include <windows.h>

#include <cstdlib>
#include <utility>

// One small owning type per kind of resource: Traits names the invalid value and how to
// free a valid one. Moves transfer ownership; copies are not allowed.
template <typename Traits> class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept : value_(Traits::Invalid()) {}
    explicit UniqueResource(Type value) noexcept : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { Reset(); }

    Type Get() const noexcept { return value_; }
    bool IsValid() const noexcept { return value_ != Traits::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    Type Release() noexcept
    {
        Type value = value_;
        value_ = Traits::Invalid();
        return value;
    }

    void Reset(Type value = Traits::Invalid()) noexcept
    {
        if (value_ != Traits::Invalid())
            Traits::Free(value_);
        value_ = value;
    }

    // For out-parameters: frees what is held and hands out the slot.
    Type* Put() noexcept
    {
        Reset();
        return &value_;
    }

private:
    Type value_;
};

// Kernel handles (events, processes, threads): invalid is null.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Free(Type value) noexcept { ::CloseHandle(value); }
};

// File handles from CreateFileW: invalid is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Free(Type value) noexcept { ::CloseHandle(value); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Free(Type value) noexcept { ::FindClose(value); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Free(Type value) noexcept { ::RegCloseKey(value); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Free(Type value) noexcept { ::FreeLibrary(value); }
};

struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type Invalid() noexcept { return nullptr; }
    static void Free(Type value) noexcept { ::LocalFree(value); }
};

// Memory that the C runtime allocated for us (for example _wfullpath with no buffer).
struct CrtMemoryTraits {
    using Type = wchar_t*;
    static Type Invalid() noexcept { return nullptr; }
    static void Free(Type value) noexcept { std::free(value); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFileHandle = UniqueResource<FileHandleTraits>;
using UniqueFindHandle = UniqueResource<FindHandleTraits>;
using UniqueRegKey = UniqueResource<RegKeyTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;
using UniqueCrtString = UniqueResource<CrtMemoryTraits>;
