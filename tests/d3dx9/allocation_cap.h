// While an AllocationCap lives, operator new refuses (throws std::bad_alloc
// for) any block larger than its cap: memory that cannot be had, on demand.
// This program replaces the global operator new and delete for it.
#pragma once

#include <cstddef>

class AllocationCap {
public:
    explicit AllocationCap(size_t largestBlock);
    ~AllocationCap();
    AllocationCap(const AllocationCap&) = delete;
    AllocationCap& operator=(const AllocationCap&) = delete;

private:
    size_t m_previous;
};
