/* Exports for the script bridge's tests, under undecorated names: stdcall and cdecl variants taking 0 to 8
   arguments, each result kind, the last-error code, and writes through pointers; and the unregistration of a
   COM server. */
#include <windows.h>

#include <stdint.h>

#define EXPORT __declspec(dllexport)

/* An order-sensitive checksum: swapped arguments give another value. */
#define H(h, x) ((h) * 31u + (uint32_t)(x))

#define BOTH(n, params, body)                                 \
    EXPORT uint32_t WINAPI StdArgs##n params { return body; } \
    EXPORT uint32_t __cdecl CdeclArgs##n params { return body; }

BOTH(0, (void), 7u)
BOTH(1, (int a), H(7u, a))
BOTH(2, (int a, int b), H(H(7u, a), b))
BOTH(3, (int a, int b, int c), H(H(H(7u, a), b), c))
BOTH(4, (int a, int b, int c, int d), H(H(H(H(7u, a), b), c), d))
BOTH(5, (int a, int b, int c, int d, int e), H(H(H(H(H(7u, a), b), c), d), e))
BOTH(6, (int a, int b, int c, int d, int e, int f), H(H(H(H(H(H(7u, a), b), c), d), e), f))
BOTH(7, (int a, int b, int c, int d, int e, int f, int g), H(H(H(H(H(H(H(7u, a), b), c), d), e), f), g))
BOTH(8, (int a, int b, int c, int d, int e, int f, int g, int i), H(H(H(H(H(H(H(H(7u, a), b), c), d), e), f), g), i))

/* The address of a local: the same from call to call while the caller's stack stays balanced. */
EXPORT uintptr_t WINAPI StackProbe(void) {
    volatile char local = 0;
    return (uintptr_t)&local;
}

EXPORT uint32_t WINAPI SetErrorAndReturn(DWORD code) {
    SetLastError(code);
    return code + 1;
}

EXPORT uint32_t WINAPI ReturnWord(uint32_t word) { return word; }
/* A 64-bit register whose low half is zero: the 32-bit result kinds must see 0. */
EXPORT uint64_t WINAPI ReturnHighHalfOnly(void) { return 0xDEADBEEF00000000ull; }
EXPORT int WINAPI IsMinusOne(intptr_t value) { return value == -1; }
EXPORT const char* WINAPI ReturnNarrow(void) { return "narrow text"; }
EXPORT const wchar_t* WINAPI ReturnWide(void) { return L"wide \x4E2D\x6587"; }
EXPORT void* WINAPI ReturnNull(void) { return NULL; }

EXPORT int WINAPI FillWide(wchar_t* out, int units) {
    lstrcpynW(out, L"filled \x4E2D", units);
    return lstrlenW(out);
}
EXPORT int WINAPI FillNarrow(char* out, int bytes) {
    lstrcpynA(out, "filled", bytes);
    return lstrlenA(out);
}
EXPORT void WINAPI StoreWord(uint32_t* at, uint32_t word) { *at = word; }
EXPORT uint32_t WINAPI TextBytes(const char* text) { return (uint32_t)lstrlenA(text); }

static LONG calls;
EXPORT LONG WINAPI CountCall(void) { return InterlockedIncrement(&calls); }

/* As a COM server: unregistering deletes the value named after this DLL's file name under
   HKCU\Software\OrvTestServer, so a test sees which copy was asked. */
EXPORT HRESULT WINAPI DllUnregisterServer(void) {
    HMODULE self = NULL;
    wchar_t path[MAX_PATH];
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            (LPCWSTR)(void*)DllUnregisterServer, &self) ||
        !GetModuleFileNameW(self, path, MAX_PATH))
        return E_FAIL;
    const wchar_t* name = wcsrchr(path, L'\\');
    return RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\OrvTestServer", name ? name + 1 : path) == ERROR_SUCCESS
               ? S_OK
               : E_FAIL;
}
