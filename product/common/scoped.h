// Owning wrappers for the product's programs: every handle, key, module, block of local memory and COM
// initialisation is released when its scope ends, on every path out of it.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace quellby {

template <typename Traits>
class Owned {
public:
    using Type = typename Traits::Type;

    Owned() = default;
    explicit Owned(Type value) : value_(value) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { Reset(); }

    Type Get() const { return value_; }
    explicit operator bool() const { return Traits::Owns(value_); }
    // Address for out-parameters; releases what was held first.
    Type* Put() {
        Reset();
        return &value_;
    }
    // Releasing keeps the thread's last error for the caller's report.
    void Reset() {
        if (Traits::Owns(value_)) {
            const DWORD error = ::GetLastError();
            Traits::Close(value_);
            ::SetLastError(error);
        }
        value_ = Traits::Invalid();
    }

private:
    Type value_ = Traits::Invalid();
};

template <typename T>
struct NullIsInvalid {
    using Type = T;
    static Type Invalid() { return nullptr; }
    static bool Owns(Type value) { return value != nullptr; }
};

struct HandleTraits : NullIsInvalid<HANDLE> {  // events, processes, threads
    static bool Owns(Type value) { return value != nullptr && value != INVALID_HANDLE_VALUE; }
    static void Close(Type value) { ::CloseHandle(value); }
};
struct ServiceTraits : NullIsInvalid<SC_HANDLE> {
    static void Close(Type value) { ::CloseServiceHandle(value); }
};
struct ModuleTraits : NullIsInvalid<HMODULE> {
    static void Close(Type value) { ::FreeLibrary(value); }
};
struct LocalMemoryTraits : NullIsInvalid<HLOCAL> {  // security descriptors, ACLs, argument vectors
    static void Close(Type value) { ::LocalFree(value); }
};
struct GdiTraits : NullIsInvalid<HGDIOBJ> {
    static void Close(Type value) { ::DeleteObject(value); }
};

using ScopedHandle = Owned<HandleTraits>;
using ScopedService = Owned<ServiceTraits>;
using ScopedModule = Owned<ModuleTraits>;
using ScopedLocal = Owned<LocalMemoryTraits>;
using ScopedGdiObject = Owned<GdiTraits>;

// Balances a successful CoInitializeEx on the same thread (S_FALSE counts: it was already initialised).
class ComSession {
public:
    ComSession() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComSession() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComSession(const ComSession&) = delete;
    ComSession& operator=(const ComSession&) = delete;
    // False only when COM cannot be used on this thread at all.
    bool Usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT hr_;
};

// One reference to a COM interface.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() { Reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For CoCreateInstance and QueryInterface; releases first.
    void** Put() {
        Reset();
        return reinterpret_cast<void**>(&p_);
    }
    void Reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

}  // namespace quellby
