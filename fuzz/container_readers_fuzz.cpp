// Feeds arbitrary bytes to the container readers as files of each format
// (see tests/support/container_fuzz_entry.h).

#include "tests/support/container_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pagelift::fuzzing::runContainerReaders(data, size);
    return 0;
}
