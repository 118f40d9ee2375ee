// Feeds arbitrary bytes to the TIFF reader as a file (see tiff_fuzz_entry.h).

#include "tests/support/tiff_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pagelift::fuzzing::runTiffReader(data, size);
    return 0;
}
