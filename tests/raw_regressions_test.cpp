// Inputs that once broke, or were made to guard, the raw-stream analysis,
// fed through the fuzz target's entry.

#include "support/raw_fuzz_entry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace pagelift {
namespace {

TEST(RawRegressions, EveryStoredInputIsAnalysedSafely)
{
    const std::filesystem::path folder = std::filesystem::path(PAGELIFT_SOURCE_DIR) / "tests/data/raw_regressions";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        fuzzing::runRawAnalysis(bytes.data(), bytes.size());  // aborts on a broken promise
        ++inputs;
    }
    EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace pagelift
