// Feeds arbitrary bytes to the JBIG readers (bare BIEs, and TIFF files whose
// pages may be JBIG-coded) as files of the format the first byte chooses
// (see tests/support/container_fuzz_entry.h).

#include "tests/support/container_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pagelift::fuzzing::runContainerReaders(data, size, pagelift::fuzzing::kJbigFormats);
    return 0;
}
