// The page writers against independent tools: the JPEG writer byte for byte
// against cjpeg given a PGM of the page's image, the PNG writer decoded by
// netpbm's pngtopnm; and what both do when a page or a file fails.

#include "imageout/jpeg_writer.h"
#include "imageout/png_writer.h"
#include "raster/page_size.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/image_oracles.h"

namespace pagelift {
namespace {

using imagetest::ScratchFolder;

std::vector<std::string> filesIn(const ScratchFolder& scratch)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Pages with and without repeated rows, widths on and off a byte boundary
// (the bits past the width are black: they must come out white).
struct PageCase {
    int32_t width;
    int32_t rows;
    uint16_t xResolution;
    int16_t yResolution;
};
const PageCase kPages[] = {{1728, 120, 204, 98}, {1725, 97, 204, 196}, {203, 61, 200, 100}, {13, 5, 400, 100}};

std::string nameOf(const PageCase& p)
{
    return std::to_string(p.width) + " x " + std::to_string(p.rows) + " at " + std::to_string(p.xResolution) + " x " +
           std::to_string(p.yResolution);
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

TEST(JpegPages, ByteIdenticalToCjpegOfThePageImageForEveryQualityAndBothFeeds)
{
    if (!imagetest::toolAvailable(imagetest::kCjpeg)) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    ScratchFolder scratch;
    uint32_t seed = 1;
    for (const PageCase& p : kPages) {
        const PageBitmap page = imagetest::makePatternPage(p.width, p.rows, p.xResolution, p.yResolution, seed++);
        imagetest::writePgm(scratch.file("page.pgm"), imagetest::expectedImage(page, rowFactor(page)));
        for (const int quality : {0, 1, 25, 50, 100, 150}) {
            for (const bool optimize : {false, true}) {
                SCOPED_TRACE(nameOf(p) + ", quality " + std::to_string(quality) + (optimize ? ", optimized" : ""));
                ASSERT_EQ(imagetest::runCjpeg(scratch.file("page.pgm"), scratch.file("cjpeg.jpg"), quality, optimize), 0);
                const std::vector<uint8_t> expected = imagetest::readBytes(scratch.file("cjpeg.jpg"));
                for (const JpegFeed feed : {JpegFeed::FromBits, JpegFeed::Rows}) {
                    ASSERT_TRUE(writeJpegPage(page, scratch.file("ours.jpg"), quality, optimize, feed).written());
                    EXPECT_TRUE(imagetest::readBytes(scratch.file("ours.jpg")) == expected)
                        << (feed == JpegFeed::Rows ? "rows" : "from bits");
                }
            }
        }
    }
    EXPECT_EQ(filesIn(scratch), (std::vector<std::string>{"cjpeg.jpg", "ours.jpg", "page.pgm"}));
}

// The resolution a PNG file states, in pixels per metre; 0 0 without pHYs.
std::pair<uint32_t, uint32_t> pngDensity(const std::vector<uint8_t>& png)
{
    const std::string chunk = "pHYs";
    const auto at = std::search(png.begin(), png.end(), chunk.begin(), chunk.end());
    if (at == png.end() || png.end() - at < 13) return {0, 0};
    const auto be32 = [&](ptrdiff_t offset) {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = value << 8 | at[offset + i];
        return value;
    };
    return {be32(4), be32(8)};
}

TEST(PngPages, PngtopnmReadsTheSquaredPageAtItsSquaredResolution)
{
    if (!imagetest::toolAvailable("/usr/bin/pngtopnm")) GTEST_SKIP() << "pngtopnm (netpbm) is not installed";
    ScratchFolder scratch;
    uint32_t seed = 7;
    for (const PageCase& p : kPages) {
        SCOPED_TRACE(nameOf(p));
        const PageBitmap page = imagetest::makePatternPage(p.width, p.rows, p.xResolution, p.yResolution, seed++);
        ASSERT_TRUE(writePngPage(page, scratch.file("page.png")).written());
        ASSERT_EQ(imagetest::runTool({"/bin/sh", "-c",
                                      "pngtopnm '" + scratch.file("page.png") + "' | pnmdepth 255 | ppmtopgm > '" +
                                          scratch.file("decoded.pgm") + "'"}),
                  0);
        const auto decoded = imagetest::readPgm(scratch.file("decoded.pgm"));
        ASSERT_TRUE(decoded.has_value());
        // The squared page at its own width: the padded image less its padding.
        const imagetest::GrayImage padded = imagetest::expectedImage(page, rowFactor(page));
        imagetest::GrayImage expected{p.width, padded.height, {}};
        for (int row = 0; row < padded.height; ++row) {
            const auto begin = padded.pixels.begin() + ptrdiff_t(row) * padded.width;
            expected.pixels.insert(expected.pixels.end(), begin, begin + p.width);
        }
        EXPECT_EQ(decoded->width, expected.width);
        EXPECT_EQ(decoded->height, expected.height);
        EXPECT_TRUE(decoded->pixels == expected.pixels);
        // Dots per inch as pixels per metre, the vertical one squared.
        const auto perMetre = [](double dpi) { return uint32_t(dpi / 0.0254 + 0.5); };
        EXPECT_EQ(pngDensity(imagetest::readBytes(scratch.file("page.png"))),
                  std::make_pair(perMetre(p.xResolution), perMetre(p.yResolution * rowFactor(page))));
    }
}

// What each writer gives for pages and files it cannot write: no file
// under the name (an earlier one stays), no partial file beside it.
TEST(PageWriters, PagesAndFilesThatCannotBeWrittenLeaveNothing)
{
    PageBitmap empty = imagetest::makePatternPage(1728, 0, 204, 98, 1);
    PageBitmap short_ = imagetest::makePatternPage(64, 8, 200, 200, 3);
    short_.pixels.resize(10);  // fewer bytes than its rows
    const PageBitmap good = imagetest::makePatternPage(64, 8, 200, 200, 3);
    struct Case {
        const char* name;
        const PageBitmap* page;
        const char* path;  // in the scratch folder; "taken" is a folder there
        WriteFailure failure;
        const char* words;
    };
    const Case cases[] = {
        {"an empty page", &empty, "out", WriteFailure::NothingToEncode, "the page holds no image"},
        {"a page whose pixels do not hold its rows", &short_, "out", WriteFailure::NothingToEncode,
         "the page holds no image"},
        {"no folder for the file", &good, "missing/out", WriteFailure::Creating, "No such file or directory"},
        {"a folder in the file's place", &good, "taken", WriteFailure::Writing, "Is a directory"},
        {"a good page", &good, "out", WriteFailure::None, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder scratch;
        std::filesystem::create_directories(scratch.file("taken/inner"));
        const std::string path = scratch.file(c.path);
        if (c.failure != WriteFailure::None) imagetest::writeBytes(scratch.file("out"), {1, 2, 3});
        ::testing::internal::CaptureStderr();
        for (const WriteResult& written : {writeJpegPage(*c.page, path, 50, true), writePngPage(*c.page, path)}) {
            EXPECT_EQ(written.failure, c.failure);
            EXPECT_EQ(written.words, c.words);
            EXPECT_EQ(written.path, written.written() ? "" : path);
        }
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        if (c.failure != WriteFailure::None) {
            EXPECT_EQ(imagetest::readBytes(scratch.file("out")), (std::vector<uint8_t>{1, 2, 3}));
        }
        EXPECT_EQ(filesIn(scratch), (std::vector<std::string>{"out", "taken"}));
    }
}

TEST(JpegPages, QualityIsLimitedAndOptimizationOnlyShrinksTheFile)
{
    ScratchFolder scratch;
    const PageBitmap page = imagetest::makePatternPage(1728, 200, 204, 98, 5);
    auto compress = [&](int quality, bool optimize) {
        EXPECT_TRUE(writeJpegPage(page, scratch.file("page.jpg"), quality, optimize).written());
        return imagetest::readBytes(scratch.file("page.jpg"));
    };
    EXPECT_EQ(compress(-20, true), compress(1, true));
    EXPECT_EQ(compress(150, false), compress(100, false));
    EXPECT_LT(compress(50, true).size(), compress(50, false).size());
}

}  // namespace
}  // namespace pagelift
