#include "platform/allocation.h"

#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>
#include <utility>

namespace pagelift {

void reuseLargeAllocations()
{
    // The largest threshold the allocator takes for blocks from the heap.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
}

void mapForWriting(void* start, size_t bytes)
{
    const auto begin = reinterpret_cast<uintptr_t>(start);
    const uintptr_t end = begin + bytes;
    const auto inside = [&](uintptr_t unit) {
        const uintptr_t first = (begin + unit - 1) / unit * unit;
        const uintptr_t last = end / unit * unit;
        return std::pair{first, last > first ? last - first : 0};
    };
    const auto [large, largeBytes] = inside(uintptr_t{2} << 20);
    if (largeBytes > 0) madvise(reinterpret_cast<void*>(large), largeBytes, MADV_HUGEPAGE);
#ifndef MADV_POPULATE_WRITE
    constexpr int MADV_POPULATE_WRITE = 23;  // Linux 5.14; older kernels refuse it
#endif
    const auto [pages, pageBytes] = inside(4096);
    if (pageBytes > 0) madvise(reinterpret_cast<void*>(pages), pageBytes, MADV_POPULATE_WRITE);
}

}  // namespace pagelift
