// Inputs that once broke a CCITT decoder, fed through the fuzz target's entry.

#include "support/ccitt_fuzz_entry.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

namespace pagelift {
namespace {

TEST(CcittRegressions, EveryStoredInputDecodesSafely)
{
    const int inputs = testing::forEachStoredInput("ccitt_regressions", [](const std::vector<uint8_t>& bytes) {
        fuzzing::runCcittDecoders(bytes.data(), bytes.size());  // aborts on a broken promise
    });
    EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace pagelift
