// Feeds arbitrary bytes to the BMP, CALS, DCX, .ds, .ed and .ig4 readers
// alone (see tests/support/container_fuzz_entry.h): they run far faster than
// the readers that probe unlabelled data, so on their own they are explored
// far deeper in the same time. The first byte picks the format from
// kImageContainerFormats.

#include "tests/support/container_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pagelift::fuzzing::runContainerReaders(data, size, pagelift::fuzzing::kImageContainerFormats);
    return 0;
}
