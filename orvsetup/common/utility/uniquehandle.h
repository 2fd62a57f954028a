// Owning wrappers for Windows handles, one traits type per kind of handle and release call.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <ole2.h>

#include <atomic>

namespace orv {

// How many GDI and USER objects the owners below hold at this moment, across the process: what a test
// compares before and after to find an object that was never given back (Wine does not count them).
class OwnedObjects {
public:
    enum Kind { kGdi, kUser, kKinds };
    static long Held(Kind kind) { return counts_[kind].load(); }
    static void Add(Kind kind, long delta) { counts_[kind] += delta; }

private:
    static inline std::atomic<long> counts_[kKinds] = {};
};

// Traits of handles nobody counts.
struct Uncounted {
    static constexpr bool kCounted = false;
    static void Count(long) {}
};
// Traits of handles that use up one of the GDI or USER objects a process may hold.
template <OwnedObjects::Kind kind>
struct CountedAs {
    static constexpr bool kCounted = true;
    static void Count(long delta) { OwnedObjects::Add(kind, delta); }
};

template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(Type value) : value_(value) { Took(); }
    UniqueResource(UniqueResource&& other) noexcept : value_(other.value_) { other.value_ = Traits::Invalid(); }
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { Reset(); }

    Type Get() const { return value_; }
    bool Valid() const { return Traits::Owns(value_); }
    explicit operator bool() const { return Valid(); }

    // Address for out-parameters; releases what was held first. Not for counted objects: what the call
    // writes there would go uncounted.
    Type* Put() {
        static_assert(!Traits::kCounted, "a counted object is taken through Reset");
        Reset();
        return &value_;
    }
    Type Release() {
        Type value = value_;
        if (Traits::Owns(value)) Traits::Count(-1);
        value_ = Traits::Invalid();
        return value;
    }
    // Closing keeps the thread's last error: a guard that runs between a failed call and its report must
    // not change the code the report names.
    void Reset(Type value = Traits::Invalid()) {
        if (Traits::Owns(value_)) {
            const DWORD error = ::GetLastError();
            Traits::Close(value_);
            Traits::Count(-1);
            ::SetLastError(error);
        }
        value_ = value;
        Took();
    }

private:
    void Took() {
        if (Traits::Owns(value_)) Traits::Count(1);
    }

    Type value_ = Traits::Invalid();
};

// Traits whose failure value is null.
template <typename T>
struct NullInvalid : Uncounted {
    using Type = T;
    static Type Invalid() { return nullptr; }
    static bool Owns(Type h) { return h != nullptr; }
};

// Kernel handles whose failure value is NULL (events, processes, threads, mutexes). The value
// INVALID_HANDLE_VALUE is never owned either: it is what CreateFileW returns on failure (a file handle
// belongs in UniqueFileHandle) and, as a handle, only the current process's pseudo-handle.
struct HandleTraits : NullInvalid<HANDLE> {
    static bool Owns(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};
// Kernel handles whose failure value is INVALID_HANDLE_VALUE (files, find handles of CreateFileW's kind).
struct FileHandleTraits : Uncounted {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Owns(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct FindHandleTraits : Uncounted {  // FindFirstFileW searches
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Owns(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(Type h) { ::FindClose(h); }
};
struct RegKeyTraits : NullInvalid<HKEY> {
    static void Close(Type h) { ::RegCloseKey(h); }
};
struct ServiceHandleTraits : NullInvalid<SC_HANDLE> {
    static void Close(Type h) { ::CloseServiceHandle(h); }
};
struct ModuleTraits : NullInvalid<HMODULE> {
    static void Close(Type h) { ::FreeLibrary(h); }
};
struct LocalMemoryTraits : NullInvalid<HLOCAL> {  // security descriptors, ACLs, argument vectors
    static void Close(Type h) { ::LocalFree(h); }
};
struct GlobalMemoryTraits : NullInvalid<HGLOBAL> {  // GlobalAlloc blocks not handed to a stream yet
    static void Close(Type h) { ::GlobalFree(h); }
};
struct GdiObjectTraits : NullInvalid<HGDIOBJ>, CountedAs<OwnedObjects::kGdi> {
    using CountedAs::Count;
    using CountedAs::kCounted;
    static void Close(Type h) { ::DeleteObject(h); }
};
struct MemoryDcTraits : NullInvalid<HDC>, CountedAs<OwnedObjects::kGdi> {  // CreateCompatibleDC's
    using CountedAs::Count;
    using CountedAs::kCounted;
    static void Close(Type h) { ::DeleteDC(h); }
};
struct WindowTraits : NullInvalid<HWND> {  // windows this code created and destroys itself
    static void Close(Type h) { ::DestroyWindow(h); }
};
struct MappedViewTraits : NullInvalid<void*> {  // MapViewOfFile's
    static void Close(Type h) { ::UnmapViewOfFile(h); }
};
struct IconTraits : NullInvalid<HICON>, CountedAs<OwnedObjects::kUser> {  // icons made or loaded unshared
    using CountedAs::Count;
    using CountedAs::kCounted;
    static void Close(Type h) { ::DestroyIcon(h); }
};
struct ResourceDataTraits : NullInvalid<HGLOBAL> {  // FreeResource does nothing on modern Windows; kept for symmetry
    static void Close(Type h) { ::FreeResource(h); }
};

using UniqueHandle = UniqueResource<HandleTraits>;
using UniqueFileHandle = UniqueResource<FileHandleTraits>;
using UniqueHKey = UniqueResource<RegKeyTraits>;
using UniqueFindHandle = UniqueResource<FindHandleTraits>;
using UniqueServiceHandle = UniqueResource<ServiceHandleTraits>;
using UniqueHModule = UniqueResource<ModuleTraits>;
using UniqueResourceData = UniqueResource<ResourceDataTraits>;
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;
using UniqueGlobalMemory = UniqueResource<GlobalMemoryTraits>;
using UniqueGdiObject = UniqueResource<GdiObjectTraits>;
using UniqueMemoryDc = UniqueResource<MemoryDcTraits>;
using UniqueWindow = UniqueResource<WindowTraits>;
using UniqueMappedView = UniqueResource<MappedViewTraits>;
using UniqueIcon = UniqueResource<IconTraits>;

// A window's (or, for null, the screen's) DC from GetDC, given back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {
        if (dc_) OwnedObjects::Add(OwnedObjects::kGdi, 1);
    }
    ~WindowDc() {
        if (!dc_) return;
        ::ReleaseDC(window_, dc_);
        OwnedObjects::Add(OwnedObjects::kGdi, -1);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// CreateFileW straight into the file-handle wrapper, so its result never meets the null-invalid one.
inline UniqueFileHandle CreateFileHandle(const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                                         DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    return UniqueFileHandle(::CreateFileW(path, access, share, nullptr, disposition, flags, nullptr));
}

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

// Balances a successful OleInitialize on the same thread.
class OleInit {
public:
    OleInit() : hr_(::OleInitialize(nullptr)) {}
    ~OleInit() {
        if (SUCCEEDED(hr_)) ::OleUninitialize();
    }
    OleInit(const OleInit&) = delete;
    OleInit& operator=(const OleInit&) = delete;

private:
    HRESULT hr_;
};

// Owns one reference to a COM interface.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() { Reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Address for out-parameters (as void** for CoCreateInstance and QueryInterface); releases first.
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

}  // namespace orv
