// Feeds arbitrary bytes to every CCITT page decoder (see ccitt_fuzz_entry.h).

#include "tests/support/ccitt_fuzz_entry.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pagelift::fuzzing::runCcittDecoders(data, size);
    return 0;
}
