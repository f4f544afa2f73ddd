#include "allocation_cap.h"

#include <cstdlib>
#include <new>

namespace {
size_t g_largestBlock = (size_t)-1;

void* allocate(size_t size)
{
    if (size > g_largestBlock)
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
} // namespace

AllocationCap::AllocationCap(size_t largestBlock) : m_previous(g_largestBlock)
{
    g_largestBlock = largestBlock;
}

AllocationCap::~AllocationCap()
{
    g_largestBlock = m_previous;
}

void* operator new(size_t size)
{
    return allocate(size);
}

void* operator new[](size_t size)
{
    return allocate(size);
}

// The nothrow forms too: whatever comes from these operators goes back through
// the delete below, and a sanitizer tells apart blocks from its own operator new.
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    if (size > g_largestBlock)
        return nullptr;
    return std::malloc(size ? size : 1);
}

void* operator new[](size_t size, const std::nothrow_t& nothrow) noexcept
{
    return operator new(size, nothrow);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, size_t) noexcept
{
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
