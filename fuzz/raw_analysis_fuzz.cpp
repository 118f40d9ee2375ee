// Feeds arbitrary bytes to the raw-stream analysis, its working files and the
// raw document reader (see tests/support/raw_fuzz_entry.h).

#include "tests/support/raw_fuzz_entry.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pagelift::fuzzing::runRawAnalysis(data, size);
    return 0;
}
