#include "imageout/jpeg_stage.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "imageout/intermediate_bitmap.h"
#include "support/image_oracles.h"

namespace pagelift {
namespace {

using imagetest::ScratchFolder;

bool oraclesMissing()
{
    return !imagetest::toolAvailable(imagetest::kCjpeg) || !imagetest::toolAvailable(imagetest::kDjpeg);
}

// Nothing but the expected files may be left in the folder: no temporary JPEG.
std::vector<std::string> filesIn(const ScratchFolder& scratch)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct PageCase {
    int32_t width;
    int32_t rows;
    uint16_t xResolution;
    int16_t yResolution;
    int rowFactor;
};

// Pages with and without row doubling, widths on and off a byte boundary.
const PageCase kPages[] = {
    {1728, 120, 204, 98, 2},
    {1725, 97, 204, 196, 1},
    {203, 61, 200, 100, 2},
};

TEST(JpegStage, FilesAreByteIdenticalToCjpegForEveryQualityAndBothCodings)
{
    if (oraclesMissing()) {
        GTEST_SKIP() << "cjpeg/djpeg (libjpeg-turbo-progs) are not installed";
    }
    const int qualities[] = {0, 1, 24, 25, 50, 100, 150};
    ScratchFolder scratch;
    const std::string bitmap = scratch.file("page.bmp");
    const std::string ours = scratch.file("ours.jpg");
    const std::string theirs = scratch.file("cjpeg.jpg");
    uint32_t seed = 1;
    for (const PageCase& p : kPages) {
        const PageBitmap page = imagetest::makePatternPage(p.width, p.rows, p.xResolution, p.yResolution, seed++);
        ASSERT_EQ(writeIntermediateBitmap(page, bitmap), 0);
        for (const int quality : qualities) {
            for (const bool optimize : {false, true}) {
                SCOPED_TRACE(std::to_string(p.width) + " x " + std::to_string(p.rows) + " at " +
                             std::to_string(p.yResolution) + " dpi, quality " + std::to_string(quality) +
                             (optimize ? ", optimized" : ""));
                ASSERT_EQ(imagetest::runCjpeg(bitmap, theirs, quality, optimize), 0);
                const std::vector<uint8_t> expected = imagetest::readBytes(theirs);
                for (const JpegRowFeed feed :
                     {JpegRowFeed::GrayWhenPossible, JpegRowFeed::GrayRows, JpegRowFeed::AlwaysRgb}) {
                    ASSERT_EQ(compressBitmapToJpeg(bitmap, ours, quality, true, optimize, feed), 0);
                    EXPECT_TRUE(imagetest::readBytes(ours) == expected)
                        << (feed == JpegRowFeed::AlwaysRgb ? "RGB rows"
                            : feed == JpegRowFeed::GrayRows ? "gray rows" : "coefficients");
                }
            }
        }
    }
    EXPECT_EQ(filesIn(scratch), (std::vector<std::string>{"cjpeg.jpg", "ours.jpg", "page.bmp"}));
}

TEST(JpegStage, DjpegDecodesQualityHundredBackToThePage)
{
    if (oraclesMissing()) {
        GTEST_SKIP() << "cjpeg/djpeg (libjpeg-turbo-progs) are not installed";
    }
    ScratchFolder scratch;
    uint32_t seed = 11;
    for (const PageCase& p : kPages) {
        SCOPED_TRACE(std::to_string(p.width) + " x " + std::to_string(p.rows));
        const PageBitmap page = imagetest::makePatternPage(p.width, p.rows, p.xResolution, p.yResolution, seed++);
        ASSERT_EQ(writeIntermediateBitmap(page, scratch.file("page.bmp")), 0);
        ASSERT_EQ(compressBitmapToJpeg(scratch.file("page.bmp"), scratch.file("page.jpg"), 100, true, true), 0);
        auto decoded = imagetest::decodeWithDjpeg(scratch.file("page.jpg"), scratch.file("page.pgm"));
        ASSERT_TRUE(decoded.has_value());
        for (uint8_t& pixel : decoded->pixels) {
            pixel = pixel >= 128 ? 255 : 0;
        }
        const imagetest::GrayImage expected = imagetest::expectedImage(page, p.rowFactor);
        EXPECT_EQ(decoded->width, expected.width);
        EXPECT_EQ(decoded->height, expected.height);
        EXPECT_TRUE(decoded->pixels == expected.pixels);
    }
}

TEST(JpegStage, QualityIsLimitedAndOptimizationOnlyShrinksTheFile)
{
    ScratchFolder scratch;
    const std::string bitmap = scratch.file("page.bmp");
    ASSERT_EQ(writeIntermediateBitmap(imagetest::makePatternPage(1728, 200, 204, 98, 5), bitmap), 0);
    auto compress = [&](int quality, bool optimize) {
        std::string name = std::to_string(quality);
        name += optimize ? "-optimized.jpg" : ".jpg";
        const std::string jpeg = scratch.file(name);
        EXPECT_EQ(compressBitmapToJpeg(bitmap, jpeg, quality, true, optimize), 0);
        return imagetest::readBytes(jpeg);
    };
    EXPECT_EQ(compress(0, true), compress(1, true));
    EXPECT_EQ(compress(-20, true), compress(1, true));
    EXPECT_EQ(compress(150, false), compress(100, false));
    EXPECT_NE(compress(50, true), compress(100, true));
    EXPECT_LT(compress(50, true).size(), compress(50, false).size());
}

// Bitmaps this program never writes but the reader accepts: each must come
// out exactly as cjpeg makes it in grayscale, and colour images in colour too.
// (cjpeg makes gray-palette images gray even without -grayscale; here colour
// output keeps three components for them, so they are compared in gray only.)
TEST(JpegStage, OtherAcceptedBitmapsAreByteIdenticalToCjpeg)
{
    if (oraclesMissing()) {
        GTEST_SKIP() << "cjpeg/djpeg (libjpeg-turbo-progs) are not installed";
    }
    struct Case {
        const char* what;
        imagetest::BmpLayout layout;
        bool colour = false;
    };
    auto layout = [](int32_t width, int32_t height, int bits, uint32_t header) {
        imagetest::BmpLayout s;
        s.width = width;
        s.height = height;
        s.bitsPerPixel = bits;
        s.headerSize = header;
        return s;
    };
    std::vector<Case> cases;
    cases.push_back({"24-bit colour", layout(37, 23, 24, 40), true});
    cases.push_back({"24-bit OS/2", layout(16, 9, 24, 12), true});
    {
        auto s = layout(21, 11, 8, 12);
        s.palette = imagetest::grayPalette(256);
        cases.push_back({"8-bit OS/2 gray", s});
    }
    {
        auto s = layout(30, 10, 8, 40);
        s.palette = {0, 0, 0, 255, 255, 255};
        s.colorsUsed = 2;
        cases.push_back({"two-entry gray palette", s});
    }
    {
        auto s = layout(19, 14, 8, 40);
        for (int i = 0; i < 256; ++i) {
            s.palette.insert(s.palette.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                               static_cast<uint8_t>(i * 7)});
        }
        cases.push_back({"8-bit colour palette", s, true});
    }
    {
        auto s = layout(12, 12, 8, 64);
        s.palette = imagetest::grayPalette(16);
        s.colorsUsed = 16;
        s.xPixelsPerMetre = 7874;
        s.yPixelsPerMetre = 3937;
        cases.push_back({"64-byte header with a density", s});
    }
    {
        auto s = layout(9, 5, 8, 40);
        s.palette = imagetest::grayPalette(256);
        s.pixelOffset = 14 + 40 + 1024 + 30;  // a gap before the pixels
        s.pixels.assign(30, 0x55);
        for (int i = 0; i < 5 * 12; ++i) {
            s.pixels.push_back(static_cast<uint8_t>(i * 4));
        }
        cases.push_back({"gap before the pixels", s});
    }

    ScratchFolder scratch;
    for (const Case& c : cases) {
        imagetest::writeBytes(scratch.file("in.bmp"), imagetest::buildBmp(c.layout));
        for (const bool gray : {true, false}) {
            if (!gray && !c.colour) {
                continue;
            }
            SCOPED_TRACE(std::string(c.what) + (gray ? ", grayscale" : ", colour"));
            ASSERT_EQ(imagetest::runCjpeg(scratch.file("in.bmp"), scratch.file("cjpeg.jpg"), 75, gray, gray), 0);
            ASSERT_EQ(compressBitmapToJpeg(scratch.file("in.bmp"), scratch.file("ours.jpg"), 75, gray, gray), 0);
            EXPECT_TRUE(imagetest::readBytes(scratch.file("ours.jpg")) == imagetest::readBytes(scratch.file("cjpeg.jpg")));
        }
    }
}

// Bitmaps that must end the step with result 3 and a message, leave no JPEG
// behind (not even a partial one under a temporary name), and not stop the
// process. cjpeg, where it is present, must refuse them too.
TEST(JpegStage, BadBitmapsFailTheStepWithTheirMessageAndLeaveNoJpeg)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    auto layout = [](int32_t width, int32_t height) {
        imagetest::BmpLayout s;
        s.width = width;
        s.height = height;
        s.palette = imagetest::grayPalette(256);
        return s;
    };
    auto build = [&](auto change) {
        imagetest::BmpLayout s = layout(16, 4);
        change(s);
        return imagetest::buildBmp(s);
    };
    const std::vector<uint8_t> good = imagetest::buildBmp(layout(16, 4));
    auto truncated = [&](size_t length) { return std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length)); };
    auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> copy = good;
        std::copy(bytes.begin(), bytes.end(), copy.begin() + static_cast<std::ptrdiff_t>(at));
        return copy;
    };

    std::vector<Case> cases = {
        {"empty file", {}, "Empty input file"},
        {"first byte not B", patched(0, {'X'}), "Unrecognized input file format --- perhaps you need -targa"},
        {"second byte not M", patched(1, {'A'}), "Not a BMP file - does not start with BM"},
        {"truncated file header", truncated(9), "Premature end of input file"},
        {"truncated info header", truncated(30), "Premature end of input file"},
        {"truncated palette", truncated(600), "Premature end of input file"},
        {"truncated pixels", truncated(good.size() - 1), "Premature end of input file"},
        {"header length 11", patched(14, {11}), "Invalid BMP file: bad header length"},
        {"header length 65", patched(14, {65}), "Invalid BMP file: bad header length"},
        {"header length 52", build([](auto& s) { s.headerSize = 52; }), "Invalid BMP file: bad header length"},
        {"pixels inside the headers", build([](auto& s) { s.pixelOffset = 100; }), "Invalid BMP file: bad header length"},
        {"4 bits per pixel", build([](auto& s) { s.bitsPerPixel = 4; }), "Only 8- and 24-bit BMP files are supported"},
        {"two planes", build([](auto& s) { s.planes = 2; }), "Invalid BMP file: biPlanes not equal to 1"},
        {"run-length compressed", build([](auto& s) { s.compression = 1; }), "Sorry, compressed BMPs not yet supported"},
        {"257 colours", build([](auto& s) { s.colorsUsed = 257; }), "Unsupported BMP colormap format"},
        {"pixel beyond the palette",
         build([](auto& s) {
             s.palette = imagetest::grayPalette(2);
             s.colorsUsed = 2;
             s.pixels.assign(64, 1);
             s.pixels[40] = 2;
         }),
         "Numeric value out of range in BMP file"},
        {"height 0", build([](auto& s) { s.height = 0; }), "Empty JPEG image (DNL not supported)"},
        {"width 0", build([](auto& s) { s.width = 0; }), "Empty JPEG image (DNL not supported)"},
        {"negative height", build([](auto& s) { s.height = -4; s.pixels.assign(64, 0); }),
         "Invalid BMP file: bad image dimensions"},
        // A few bytes claiming ten billion pixels: refused before allocating.
        {"100000 x 100000 claimed", build([](auto& s) { s.width = 100000; s.height = 100000; s.pixels.assign(1, 0); }),
         "Premature end of input file"},
        {"wider than JPEG allows",
         build([](auto& s) {
             s.width = 70000;
             s.height = 1;
         }),
         "Maximum supported image dimension is 65500 pixels"},
    };

    const bool haveCjpeg = imagetest::toolAvailable(imagetest::kCjpeg);
    ScratchFolder scratch;
    const std::string bitmap = scratch.file("in.bmp");
    const std::string jpeg = scratch.file("out.jpg");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        imagetest::writeBytes(bitmap, c.bytes);
        ::testing::internal::CaptureStderr();
        const int result = compressBitmapToJpeg(bitmap, jpeg, 50, true, true);
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, 3);
        EXPECT_EQ(message, std::string(c.message) + "\n");
        EXPECT_EQ(filesIn(scratch), std::vector<std::string>{"in.bmp"});
        if (haveCjpeg) {
            EXPECT_NE(imagetest::runCjpeg(bitmap, scratch.file("cjpeg.jpg"), 50, true), 0);
            std::filesystem::remove(scratch.file("cjpeg.jpg"));
        }
    }
}

TEST(JpegStage, AFailureKeepsAnEarlierJpegUnderTheDestination)
{
    ScratchFolder scratch;
    const std::string jpeg = scratch.file("out.jpg");
    imagetest::writeBytes(jpeg, {1, 2, 3});
    imagetest::writeBytes(scratch.file("in.bmp"), {'X'});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(compressBitmapToJpeg(scratch.file("in.bmp"), jpeg, 50, true, true), 3);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(imagetest::readBytes(jpeg), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(JpegStage, FilesThatCannotBeOpenedGiveOne)
{
    ScratchFolder scratch;
    const std::string bitmap = scratch.file("page.bmp");
    ASSERT_EQ(writeIntermediateBitmap(imagetest::makePatternPage(64, 8, 200, 200, 3), bitmap), 0);
    // No bitmap: nothing is created.
    EXPECT_EQ(compressBitmapToJpeg(scratch.file("absent.bmp"), scratch.file("a.jpg"), 50, true, true), 1);
    // No folder for the JPEG.
    EXPECT_EQ(compressBitmapToJpeg(bitmap, scratch.file("missing/a.jpg"), 50, true, true), 1);
    // The destination is a folder: the JPEG cannot be put in its place.
    std::filesystem::create_directory(scratch.file("taken.jpg"));
    std::filesystem::create_directory(scratch.file("taken.jpg/inner"));
    EXPECT_EQ(compressBitmapToJpeg(bitmap, scratch.file("taken.jpg"), 50, true, true), 1);
    EXPECT_EQ(filesIn(scratch), (std::vector<std::string>{"page.bmp", "taken.jpg"}));
}

// A page without rows reaches the JPEG stage as an empty bitmap: the step
// fails, nothing is left behind, and the next page converts normally.
TEST(JpegStage, AnEmptyPageFailsTheStepAndTheNextPageStillConverts)
{
    ScratchFolder scratch;
    PageBitmap empty;
    empty.width = 1728;
    empty.bytesPerRow = 216;
    empty.xResolution = 204;
    empty.yResolution = 98;
    ASSERT_EQ(writeIntermediateBitmap(empty, scratch.file("page.bmp")), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(compressBitmapToJpeg(scratch.file("page.bmp"), scratch.file("empty.jpg"), 50, true, true), 3);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Empty JPEG image (DNL not supported)\n");

    ASSERT_EQ(writeIntermediateBitmap(imagetest::makePatternPage(100, 10, 204, 98, 2), scratch.file("page.bmp")), 0);
    EXPECT_EQ(compressBitmapToJpeg(scratch.file("page.bmp"), scratch.file("next.jpg"), 50, true, true), 0);
    EXPECT_EQ(filesIn(scratch), (std::vector<std::string>{"next.jpg", "page.bmp"}));
}

}  // namespace
}  // namespace pagelift
