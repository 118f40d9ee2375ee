// Files that once broke the TIFF reader, read through the fuzz target's entry.

#include "support/tiff_fuzz_entry.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

namespace pagelift {
namespace {

TEST(TiffRegressions, EveryStoredFileReadsSafely)
{
    const int inputs = testing::forEachStoredInput("tiff_regressions", [](const std::vector<uint8_t>& bytes) {
        fuzzing::runTiffReader(bytes.data(), bytes.size());  // aborts on a broken promise
    });
    EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace pagelift
