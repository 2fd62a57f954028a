// The process heap behind the decoder's allocator interface.
#include "orvscriptengine/archive/decoderheap.h"

#include <windows.h>

namespace orv {
namespace {

void* HeapAllocate(ISzAllocPtr, size_t size) { return size ? ::HeapAlloc(::GetProcessHeap(), 0, size) : nullptr; }
void HeapRelease(ISzAllocPtr, void* address) {
    if (address) ::HeapFree(::GetProcessHeap(), 0, address);
}

}  // namespace

const ISzAlloc kDecoderHeap = {HeapAllocate, HeapRelease};

}  // namespace orv
