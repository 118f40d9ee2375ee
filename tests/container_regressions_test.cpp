// Inputs that once broke, or were made to guard, the container readers, fed
// through the fuzz target's entry.

#include "support/container_fuzz_entry.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

namespace pagelift {
namespace {

TEST(ContainerRegressions, EveryStoredInputIsReadSafely)
{
    const int inputs = testing::forEachStoredInput("container_regressions", [](const std::vector<uint8_t>& bytes) {
        fuzzing::runContainerReaders(bytes.data(), bytes.size());  // aborts on a broken promise
    });
    EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace pagelift
