// The counting allocator: operator new is replaced, and malloc, calloc and
// realloc are interposed on glibc's own allocator (__libc_malloc and
// friends), so memory from either side may be freed by the other.
#include "bench/AllocCounter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::uint64_t> allocations{0};

}  // namespace

#if SKELVANE_BENCH_COUNT_ALLOCATIONS

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);

void* malloc(std::size_t size) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void* realloc(void* block, std::size_t size) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(block, size);
}
}

namespace {

void* allocate(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size == 0 ? 1 : size);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* block = allocate(size)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}

void operator delete(void* block) noexcept {
    __libc_free(block);
}

void operator delete[](void* block) noexcept {
    __libc_free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    __libc_free(block);
}

void operator delete[](void* block, std::size_t) noexcept {
    __libc_free(block);
}

bool allocationsCounted() {
    return true;
}

#else

bool allocationsCounted() {
    return false;
}

#endif

std::uint64_t allocationCount() {
    return allocations.load(std::memory_order_relaxed);
}
