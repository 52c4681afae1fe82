// Counts the heap allocations of a benchmark program, so that a benchmark can report how many one
// request makes. It replaces the global operator new and delete: include it in exactly one source
// file of a program.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace bench {
inline std::atomic<uint64_t> g_allocations{0};
}

void* operator new(std::size_t size)
{
    bench::g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
