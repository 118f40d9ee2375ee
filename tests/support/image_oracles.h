#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "raster/page_bitmap.h"
#include "support/test_files.h"

// Helpers for the image output tests: the external tools that serve as
// oracles (cjpeg, djpeg, ImageMagick), a scratch folder, pages and the gray
// images they should come out as.
namespace pagelift::imagetest {

inline constexpr const char* kCjpeg = "/usr/bin/cjpeg";
inline constexpr const char* kDjpeg = "/usr/bin/djpeg";
inline constexpr const char* kImageMagick = "/usr/bin/convert";  // not the stand-in on PATH

using testing::readBytes;
using testing::runTool;
using testing::ScratchFolder;
using testing::toolAvailable;
using testing::writeBytes;

struct GrayImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // row by row, top first
};

// Reads a binary PGM (P5, maxval 255); nullopt for anything else.
std::optional<GrayImage> readPgm(const std::string& path);

// cjpeg -grayscale -quality Q [-optimize] (no -grayscale when gray is false).
int runCjpeg(const std::string& bitmap, const std::string& jpeg, int quality, bool optimize,
             bool gray = true);

// Decodes a JPEG with djpeg into gray pixels; nullopt when djpeg fails.
std::optional<GrayImage> decodeWithDjpeg(const std::string& jpeg, const std::string& scratchPgm);

// Decodes any image ImageMagick reads into gray pixels.
std::optional<GrayImage> decodeWithImageMagick(const std::string& image, const std::string& scratchPgm);

// A page whose pixels follow a fixed pseudo-random pattern of black and white
// runs (text-like), seeded so that each test sees the same page.
PageBitmap makePatternPage(int32_t width, int32_t rows, uint16_t xResolution, int16_t yResolution,
                           uint32_t seed);

// What an output image of a page should show, worked out pixel by
// pixel: rows repeated `factor` times, bytesPerRow x 8 columns, 0 or 255, and
// the columns past the page's width white.
GrayImage expectedImage(const PageBitmap& page, int factor);

// Writes a binary PGM (P5, maxval 255).
void writePgm(const std::string& path, const GrayImage& image);

}  // namespace pagelift::imagetest
