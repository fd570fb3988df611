// The poisoned heap of a test executable: every block freed through this executable's operator
// delete is overwritten and never handed out again, and the blocks still in use are counted, so
// code that follows a freed node's pointers crashes the test and a node left behind shows.
// Include this header in exactly one source file of the executable.
#pragma once

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_set>

namespace KvPoison {
// An allocator on malloc itself, for the table of blocks this executable handed out.
template <class T>
struct MallocAllocator {
    typedef T value_type;
    MallocAllocator() = default;
    template <class U>
    MallocAllocator(const MallocAllocator<U>&) {}
    T* allocate(size_t n) {
        if (void* p = std::malloc(n * sizeof(T)))
            return static_cast<T*>(p);
        throw std::bad_alloc();
    }
    void deallocate(T* p, size_t) { std::free(p); }
    bool operator==(const MallocAllocator&) const { return true; }
    bool operator!=(const MallocAllocator&) const { return false; }
};

// Blocks allocated by this executable's operator new and not yet freed. Blocks that a DLL
// allocated and this executable frees (or the other way round) are not counted.
inline std::unordered_set<void*, std::hash<void*>, std::equal_to<void*>, MallocAllocator<void*>>& Live() {
    static auto* live = new (
        std::malloc(sizeof(std::unordered_set<void*, std::hash<void*>, std::equal_to<void*>, MallocAllocator<void*>>)))
        std::unordered_set<void*, std::hash<void*>, std::equal_to<void*>, MallocAllocator<void*>>();
    return *live;
}

inline long LiveCount() { return long(Live().size()); }

} // namespace KvPoison

void* operator new(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    KvPoison::Live().insert(p);
    return p;
}

void operator delete(void* p) noexcept {
    if (!p)
        return;
    KvPoison::Live().erase(p);
    // Kept out of the heap for the rest of the run, so the pattern stays where a freed node was.
    std::memset(p, 0xDD, _msize(p));
}

void operator delete(void* p, size_t) noexcept { operator delete(p); }
