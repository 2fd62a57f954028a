// Calls a code address with a list of machine words as its arguments.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace orv {

struct ForeignCallResult {
    uintptr_t value;        // the whole return register (eax, or rax in the 64-bit build)
    DWORD lastError;        // GetLastError read right after the call
    size_t removedBytes;    // argument bytes the callee removed from the stack itself (0 in the 64-bit build)
};

// The 32-bit build pushes every word on the stack, the first at the lowest address, and calls: a
// stdcall export removes its arguments itself, a cdecl one leaves them. Either way the stack pointer is
// restored from the frame afterwards, so an export whose convention is not the expected one cannot
// unbalance the caller. The 64-bit build follows the one Windows x64 convention: the first four words in
// rcx, rdx, r8 and r9, the rest on the stack above the 32-byte shadow area.
ForeignCallResult CallWithWords(const void* function, const uintptr_t* words, size_t count);

}  // namespace orv
