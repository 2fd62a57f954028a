// Owning wrappers for Windows handles, one traits type per kind of handle and release call.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace orv {

template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(Type value) : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { Reset(); }

    Type Get() const { return value_; }
    bool Valid() const { return value_ != Traits::Invalid(); }
    explicit operator bool() const { return Valid(); }

    // Address for out-parameters; releases what was held first.
    Type* Put() {
        Reset();
        return &value_;
    }
    Type Release() {
        Type value = value_;
        value_ = Traits::Invalid();
        return value;
    }
    void Reset(Type value = Traits::Invalid()) {
        if (value_ != Traits::Invalid()) Traits::Close(value_);
        value_ = value;
    }

private:
    Type value_ = Traits::Invalid();
};

struct HandleTraits {  // kernel handles whose failure value is NULL
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct FileHandleTraits {  // kernel handles whose failure value is INVALID_HANDLE_VALUE
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::RegCloseKey(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::FreeLibrary(h); }
};
struct ResourceDataTraits {  // a loaded resource; FreeResource is harmless on modern Windows but kept for symmetry
    using Type = HGLOBAL;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::FreeResource(h); }
};

using UniqueHandle = UniqueResource<HandleTraits>;
using UniqueFileHandle = UniqueResource<FileHandleTraits>;
using UniqueHKey = UniqueResource<RegKeyTraits>;
using UniqueHModule = UniqueResource<ModuleTraits>;
using UniqueResourceData = UniqueResource<ResourceDataTraits>;

// Balances a successful CoInitialize on the same thread.
class ComInit {
public:
    ComInit() : hr_(::CoInitialize(nullptr)) {}
    ~ComInit() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;
    HRESULT Result() const { return hr_; }

private:
    HRESULT hr_;
};

}  // namespace orv
