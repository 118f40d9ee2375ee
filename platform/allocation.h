#pragma once

#include <cstddef>

namespace pagelift {

// Lets the megabytes a page needs (its raster, its 8-bit rows, the JPEG
// coefficients) be taken from memory the process already holds, page after
// page, instead of being mapped fresh and cleared by the system for every
// page: that costs system time and, with several jobs, makes them queue on
// the process's memory map. Blocks of up to 32 MiB come from the heap, and
// freed memory is kept up to 256 MiB. The peak use stays what it was.
void reuseLargeAllocations();

// Asks the system to back the memory at [start, start + bytes) with large
// pages where it can, and to map all of it at once: megabytes written for
// the first time otherwise cost a fault every four kilobytes, which takes
// longer than the writing. Only a request: where the system takes neither,
// nothing changes.
void mapForWriting(void* start, size_t bytes);

}  // namespace pagelift
