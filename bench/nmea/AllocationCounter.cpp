#include "bench/nmea/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> allocationCount { 0 };

void* Allocate(std::size_t size, std::size_t alignment)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (size == 0)
        size = 1;
    if (alignment > alignof(std::max_align_t))
        return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    return std::malloc(size);
}

void* AllocateOrThrow(std::size_t size, std::size_t alignment)
{
    if (void* memory = Allocate(size, alignment))
        return memory;
    throw std::bad_alloc();
}

} // namespace

std::size_t AllocationCount()
{
    return allocationCount.load(std::memory_order_relaxed);
}

// Operator new must report failure by throwing; this binary is the benchmark, not the product code.
void* operator new(std::size_t size)
{
    return AllocateOrThrow(size, 0);
}
void* operator new[](std::size_t size)
{
    return AllocateOrThrow(size, 0);
}
void* operator new(std::size_t size, std::align_val_t alignment)
{
    return AllocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return AllocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size, 0);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size, 0);
}
void operator delete(void* memory) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, std::align_val_t) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, std::align_val_t) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept
{
    std::free(memory);
}
