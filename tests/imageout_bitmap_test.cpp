#include "imageout/intermediate_bitmap.h"

#include <gtest/gtest.h>

#include "support/image_oracles.h"

namespace pagelift {
namespace {

using imagetest::ScratchFolder;

uint32_t le32At(const std::vector<uint8_t>& bytes, size_t at)
{
    return static_cast<uint32_t>(bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16)) |
           (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

PageBitmap twoRowPage()
{
    PageBitmap page;
    page.width = 8;
    page.rows = 2;
    page.bytesPerRow = 1;
    page.xResolution = 200;
    page.yResolution = 100;
    page.pixels = {0xFF, 0x00};  // top row white, bottom row black
    return page;
}

TEST(RowFactor, SquaresLowVerticalResolutionsBetweenOneAndEight)
{
    struct Case {
        uint16_t x;
        int16_t y;
        int factor;
    };
    const Case cases[] = {
        {200, 100, 2}, {204, 98, 2},  {204, 196, 1}, {200, 400, 1}, {400, 400, 1},
        {400, 100, 4}, {204, 0, 1},   {0, 0, 1},     {0, 98, 1},    {800, 100, 8}, {801, 100, 8}, {65535, 1, 8},
        // A vertical resolution is never negative; the 16-bit field is read
        // unsigned, which makes this one far above the horizontal one.
        {204, -98, 1},
    };
    for (const Case& c : cases) {
        PageBitmap page;
        page.xResolution = c.x;
        page.yResolution = c.y;
        EXPECT_EQ(rowFactor(page), c.factor) << c.x << " by " << c.y;
    }
}

TEST(IntermediateBitmap, WritesTheEightByTwoPageFieldByField)
{
    ScratchFolder scratch;
    const std::string path = scratch.file("page.bmp");
    ASSERT_EQ(writeIntermediateBitmap(twoRowPage(), path), 0);
    const std::vector<uint8_t> bytes = imagetest::readBytes(path);
    ASSERT_EQ(bytes.size(), 1078u + 32u);

    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    const struct {
        size_t offset;
        uint32_t value;
    } fields[] = {
        {2, 1110}, {6, 0}, {10, 1078}, {14, 40}, {18, 8}, {22, 4}, {26, 1 | (8u << 16)},
        {30, 0},   {34, 0}, {38, 0},    {42, 0},  {46, 256}, {50, 0},
    };
    for (const auto& field : fields) {
        EXPECT_EQ(le32At(bytes, field.offset), field.value) << "offset " << field.offset;
    }
    for (uint32_t entry = 0; entry < 256; ++entry) {
        EXPECT_EQ(le32At(bytes, 54 + entry * 4), entry * 0x010101u) << "palette entry " << entry;
    }
    // Bottom row first: the black source row, doubled, then the white one.
    const std::vector<uint8_t> pixels(bytes.begin() + 1078, bytes.end());
    std::vector<uint8_t> expected(32, 255);
    std::fill_n(expected.begin(), 16, uint8_t{0});
    EXPECT_EQ(pixels, expected);
}

// ImageMagick reads the bitmap independently of our reader: it must show the
// page itself, rows repeated, padding white.
TEST(IntermediateBitmap, ImageMagickSeesThePageRowsRepeatedAndPaddingWhite)
{
    if (!imagetest::toolAvailable(imagetest::kImageMagick)) {
        GTEST_SKIP() << "ImageMagick (/usr/bin/convert) is not installed";
    }
    struct Case {
        int32_t width;
        int32_t rows;
        uint16_t x;
        int16_t y;
        int factor;
    };
    const Case cases[] = {
        {1728, 40, 204, 98, 2}, {1725, 33, 204, 196, 1}, {13, 7, 200, 100, 2},
        {1, 3, 300, 100, 3},    {64, 1, 200, 200, 1},    {20, 5, 204, 0, 1},
    };
    ScratchFolder scratch;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.rows));
        const PageBitmap page = imagetest::makePatternPage(c.width, c.rows, c.x, c.y, 7);
        const std::string path = scratch.file("page.bmp");
        ASSERT_EQ(writeIntermediateBitmap(page, path), 0);
        const auto seen = imagetest::decodeWithImageMagick(path, scratch.file("page.pgm"));
        ASSERT_TRUE(seen.has_value());
        const imagetest::GrayImage expected = imagetest::expectedImage(page, c.factor);
        EXPECT_EQ(seen->width, expected.width);
        EXPECT_EQ(seen->height, expected.height);
        EXPECT_TRUE(seen->pixels == expected.pixels);
    }
}

TEST(IntermediateBitmap, PaddingBitsBeyondTheWidthComeOutWhite)
{
    PageBitmap page;
    page.width = 1725;
    page.rows = 1;
    page.bytesPerRow = 216;
    page.xResolution = 204;
    page.yResolution = 196;
    page.pixels.assign(216, 0x00);  // all black, padding bits included
    ScratchFolder scratch;
    const std::string path = scratch.file("page.bmp");
    ASSERT_EQ(writeIntermediateBitmap(page, path), 0);
    const std::vector<uint8_t> bytes = imagetest::readBytes(path);
    ASSERT_EQ(bytes.size(), 1078u + 1728u);
    EXPECT_EQ(le32At(bytes, 18), 1728u);
    for (size_t x = 0; x < 1728; ++x) {
        ASSERT_EQ(bytes[1078 + x], x < 1725 ? 0 : 255) << "column " << x;
    }
}

TEST(IntermediateBitmap, APageWithoutRowsGivesAnEmptyBitmap)
{
    PageBitmap page;
    page.width = 1728;
    page.bytesPerRow = 216;
    page.xResolution = 204;
    page.yResolution = 98;
    ScratchFolder scratch;
    const std::string path = scratch.file("page.bmp");
    ASSERT_EQ(writeIntermediateBitmap(page, path), 0);
    const std::vector<uint8_t> bytes = imagetest::readBytes(path);
    ASSERT_EQ(bytes.size(), 1078u);
    EXPECT_EQ(le32At(bytes, 2), 1078u);
    EXPECT_EQ(le32At(bytes, 18), 1728u);
    EXPECT_EQ(le32At(bytes, 22), 0u);
}

TEST(IntermediateBitmap, ASecondPageReplacesTheFirst)
{
    ScratchFolder scratch;
    const std::string path = scratch.file("page.bmp");
    ASSERT_EQ(writeIntermediateBitmap(imagetest::makePatternPage(1728, 50, 204, 98, 1), path), 0);
    ASSERT_EQ(writeIntermediateBitmap(twoRowPage(), path), 0);
    EXPECT_EQ(imagetest::readBytes(path).size(), 1078u + 32u);
}

// Pages the writer must refuse before allocating anything or touching the
// file: the previous bitmap stays as it was.
TEST(IntermediateBitmap, RefusesOversizedAndInconsistentPagesLeavingTheOldFile)
{
    struct Case {
        const char* what;
        PageBitmap page;
    };
    auto page = [](int32_t width, int32_t rows, int32_t bytesPerRow, uint16_t x, int16_t y, size_t pixelBytes) {
        PageBitmap p;
        p.width = width;
        p.rows = rows;
        p.bytesPerRow = bytesPerRow;
        p.xResolution = x;
        p.yResolution = y;
        p.pixels.assign(pixelBytes, 0xFF);
        return p;
    };
    const Case cases[] = {
        // 32768 x (8 x 4097) bytes: the eight-fold rows pass 1 GiB by one group.
        {"row factor beyond 1 GiB", page(32768, 4097, 4096, 800, 100, size_t{4097} * 4096)},
        // 32768 x 32769 bytes: one row over 1 GiB.
        {"just over 1 GiB", page(32768, 32769, 4096, 300, 300, size_t{32769} * 4096)},
        {"width field overflow", page(8, 0, 0x10000000, 200, 200, 0)},
        {"pixel buffer shorter than the rows", page(1728, 100, 216, 204, 196, 216 * 99)},
        {"negative rows", page(1728, -1, 216, 204, 196, 0)},
        {"negative bytes per row", page(1728, 1, -216, 204, 196, 216)},
    };
    ScratchFolder scratch;
    const std::string path = scratch.file("page.bmp");
    ASSERT_EQ(writeIntermediateBitmap(twoRowPage(), path), 0);
    const std::vector<uint8_t> before = imagetest::readBytes(path);
    for (const Case& c : cases) {
        EXPECT_EQ(writeIntermediateBitmap(c.page, path), -1) << c.what;
        EXPECT_EQ(imagetest::readBytes(path), before) << c.what;
    }
}

TEST(IntermediateBitmap, AFileThatCannotBeCreatedGivesMinusThree)
{
    ScratchFolder scratch;
    EXPECT_EQ(writeIntermediateBitmap(twoRowPage(), scratch.file("missing/page.bmp")), -3);
}

}  // namespace
}  // namespace pagelift
