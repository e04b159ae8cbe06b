#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local bool t_counting = false;
thread_local long t_allocations = 0;

void* CountedAllocate(std::size_t size)
{
    if (t_counting)
        ++t_allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
} // namespace

void CAllocationCounter::Start() noexcept
{
    t_allocations = 0;
    t_counting = true;
}

long CAllocationCounter::Stop() noexcept
{
    t_counting = false;
    return t_allocations;
}

void* operator new(std::size_t size)
{
    return CountedAllocate(size);
}
void* operator new[](std::size_t size)
{
    return CountedAllocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (t_counting)
        ++t_allocations;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
