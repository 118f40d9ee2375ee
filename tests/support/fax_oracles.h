#pragma once

// Test helpers around the independent fax tools (netpbm, libtiff-tools,
// ImageMagick): bilevel pictures in PBM form, a scratch folder, the tools
// themselves, and the uncompressed TIFF input the TIFF tools encode from.

#include "raster/page_bitmap.h"
#include "support/image_oracles.h"
#include "support/test_files.h"

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace pagelift::testing {

// A bilevel picture, one byte per pixel, 1 = black (as PBM counts).
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> black;  // width x height

    uint8_t& at(int32_t x, int32_t y) { return black[size_t(y) * size_t(width) + size_t(x)]; }
    uint8_t at(int32_t x, int32_t y) const { return black[size_t(y) * size_t(width) + size_t(x)]; }
};

Picture blankPicture(int32_t width, int32_t height);

// PBM (P4) files; readPbm returns an empty picture when the file is not one.
void writePbm(const std::filesystem::path& path, const Picture& picture);
Picture readPbm(const std::filesystem::path& path);

// The picture a decoded page shows: PageBitmap bit 1 is white.
Picture pictureOf(const PageBitmap& page);

// The picture as gray pixels: 0 black, 255 white.
imagetest::GrayImage grayOf(const Picture& picture);

// "" when equal, else where the first difference is.
std::string compareFirstDifference(const Picture& expected, const Picture& actual);

// The real ImageMagick, not whatever `convert` comes first on PATH.
inline const char* const kImageMagick = "/usr/bin/convert";

// Writes the picture as a one-strip uncompressed little-endian TIFF with the
// given photometric (0: a 1 bit is black, 1: a 1 bit is white), the input
// the TIFF tools encode from. With a colour map (red, green and blue of
// entry 0 and 1: r0 r1 g0 g1 b0 b1) the page is colour-mapped (photometric
// 3), black drawn with the darker entry (with entry 0 when they are equal).
void writeUncompressedTiff(const std::filesystem::path& path, const Picture& picture, uint16_t photometric,
                           const std::vector<uint16_t>& colorMap = {});

}  // namespace pagelift::testing
