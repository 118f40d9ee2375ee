#include "platform/allocation.h"

#include <malloc.h>

namespace pagelift {

void reuseLargeAllocations()
{
    // The largest threshold the allocator takes for blocks from the heap.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
}

}  // namespace pagelift
