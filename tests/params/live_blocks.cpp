#include "live_blocks.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<size_t> g_live{0};

void* allocate(size_t size)
{
    if (void* p = std::malloc(size ? size : 1)) {
        ++g_live;
        return p;
    }
    throw std::bad_alloc();
}

void* allocateNoThrow(size_t size) noexcept
{
    void* p = std::malloc(size ? size : 1);
    if (p)
        ++g_live;
    return p;
}

void release(void* p) noexcept
{
    if (p) {
        --g_live;
        std::free(p);
    }
}
} // namespace

size_t LiveBlocks()
{
    return g_live;
}

void* operator new(size_t size)
{
    return allocate(size);
}

void* operator new[](size_t size)
{
    return allocate(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return allocateNoThrow(size);
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return allocateNoThrow(size);
}

void operator delete(void* p) noexcept
{
    release(p);
}

void operator delete[](void* p) noexcept
{
    release(p);
}

void operator delete(void* p, size_t) noexcept
{
    release(p);
}

void operator delete[](void* p, size_t) noexcept
{
    release(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    release(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    release(p);
}
