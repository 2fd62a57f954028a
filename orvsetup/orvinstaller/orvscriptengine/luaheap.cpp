// Counting allocator of the Lua state.
#include "orvscriptengine/luaheap.h"

#include <cstdlib>

namespace orv {

void* LuaHeap::Allocate(void* ud, void* block, size_t oldSize, size_t newSize) {
    LuaHeap& heap = *static_cast<LuaHeap*>(ud);
    const size_t held = block ? oldSize : 0;  // without a block, oldSize names the kind of object
    if (newSize == 0) {
        std::free(block);
        heap.bytes_ -= held;
        return nullptr;
    }
    if (newSize > held && heap.failAfter_ != 0) {
        if (heap.failAfter_ == 1) return nullptr;  // stays armed: every later growth fails too
        --heap.failAfter_;
    }
    void* resized = std::realloc(block, newSize);
    if (!resized) return nullptr;
    heap.bytes_ = heap.bytes_ - held + newSize;
    return resized;
}

}  // namespace orv
