// Files that once broke the TIFF reader, read through the fuzz target's entry.

#include "support/tiff_fuzz_entry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace pagelift {
namespace {

TEST(TiffRegressions, EveryStoredFileReadsSafely)
{
    const std::filesystem::path folder = std::filesystem::path(PAGELIFT_SOURCE_DIR) / "tests/data/tiff_regressions";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        fuzzing::runTiffReader(bytes.data(), bytes.size());  // aborts on a broken promise
        ++inputs;
    }
    EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace pagelift
