#include "imageout/jpeg_stage.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/image_oracles.h"

namespace pagelift {
namespace {

// Inputs that once made the bitmap reader misbehave (found by the fuzz target
// or by hand). Each must end the step cleanly: a result, no crash, no
// out-of-bounds access under the sanitizers, and no temporary JPEG left.
TEST(BmpRegressions, EveryStoredInputEndsTheStepCleanly)
{
    const std::filesystem::path folder = std::filesystem::path(PAGELIFT_SOURCE_DIR) / "tests/data/bmp_regressions";
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_directory(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().extension() == ".bmp") {
                inputs.push_back(entry.path());
            }
        }
    }
    if (inputs.empty()) {
        GTEST_SKIP() << "no stored inputs in " << folder;
    }
    std::sort(inputs.begin(), inputs.end());
    imagetest::ScratchFolder scratch;
    const std::string jpeg = scratch.file("out.jpg");
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.filename().string());
        ::testing::internal::CaptureStderr();
        const int result = compressBitmapToJpeg(input.string(), jpeg, 50, true, true);
        ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(result == 0 || result == 2 || result == 3) << "result " << result;
        const bool written = std::filesystem::exists(jpeg);
        EXPECT_EQ(written, result != 3);
        std::filesystem::remove(jpeg);
        EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
    }
}

}  // namespace
}  // namespace pagelift
