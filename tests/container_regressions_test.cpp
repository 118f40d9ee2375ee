// Inputs that once broke, or were made to guard, the container readers, fed
// through the fuzz targets' entry with the formats each target chooses from.

#include "support/container_fuzz_entry.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <functional>

namespace pagelift {
namespace {

TEST(ContainerRegressions, EveryStoredInputIsReadSafely)
{
    using Entry = std::function<void(const std::vector<uint8_t>&)>;
    const std::vector<std::pair<std::string, Entry>> folders = {
        {"container_regressions", [](const std::vector<uint8_t>& bytes) { fuzzing::runContainerReaders(bytes.data(), bytes.size()); }},
        {"sff_regressions",
         [](const std::vector<uint8_t>& bytes) { fuzzing::runContainerReaders(bytes.data(), bytes.size(), fuzzing::kSffFormats); }},
        {"jbig_regressions",
         [](const std::vector<uint8_t>& bytes) { fuzzing::runContainerReaders(bytes.data(), bytes.size(), fuzzing::kJbigFormats); }},
    };
    for (const auto& [folder, entry] : folders) {
        SCOPED_TRACE(folder);
        EXPECT_GT(testing::forEachStoredInput(folder, entry), 0);  // aborts on a broken promise
    }
}

}  // namespace
}  // namespace pagelift
