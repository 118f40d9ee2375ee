// Feeds arbitrary bytes to the SFF reader (see
// tests/support/container_fuzz_entry.h; the first byte, which chooses the
// format elsewhere, has one format to choose here).

#include "tests/support/container_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pagelift::fuzzing::runContainerReaders(data, size, pagelift::fuzzing::kSffFormats);
    return 0;
}
