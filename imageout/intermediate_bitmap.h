#pragma once

#include <cstdint>
#include <string>

#include "raster/page_bitmap.h"
#include "raster/page_size.h"

namespace pagelift {

// Results of writeIntermediateBitmap.
enum IntermediateBitmapResult : int {
    BitmapWritten = 0,
    BitmapNoPixelMemory = -1,  // too large, inconsistent, or out of memory
    BitmapNoPaletteMemory = -2,
    BitmapCannotCreate = -3,  // the file cannot be created or fully written
};

// The largest pixel area (bytes, one per pixel) the writer will build: larger
// pages are refused rather than exhausting memory.
inline constexpr int64_t kMaxIntermediatePixelBytes = int64_t{1} << 30;

// Writes the page as an uncompressed 8-bit grayscale BMP (gray-ramp palette,
// bottom row first, bytesPerRow x 8 pixels wide, rows x rowFactor high).
// Pixels are 0 (black) or 255 (white); columns beyond the page's width are
// white. Returns 0; -1 when the page is inconsistent (pixel buffer shorter
// than rows x bytesPerRow, negative sizes) or its bitmap would exceed
// kMaxIntermediatePixelBytes or cannot be allocated, leaving any existing
// file untouched; -3 when the file cannot be created or written completely.
int writeIntermediateBitmap(const PageBitmap& page, const std::string& path);

}  // namespace pagelift
