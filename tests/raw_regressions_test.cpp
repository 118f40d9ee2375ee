// Inputs that once broke, or were made to guard, the raw-stream analysis,
// fed through the fuzz target's entry.

#include "support/raw_fuzz_entry.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

namespace pagelift {
namespace {

TEST(RawRegressions, EveryStoredInputIsAnalysedSafely)
{
    const int inputs = testing::forEachStoredInput("raw_regressions", [](const std::vector<uint8_t>& bytes) {
        fuzzing::runRawAnalysis(bytes.data(), bytes.size());  // aborts on a broken promise
    });
    EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace pagelift
