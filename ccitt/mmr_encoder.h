#pragma once

#include <cstdint>
#include <vector>

namespace pagelift {

// Encodes a page as T.6 (MMR) data, the decoders' counterpart: `rows` rows
// of `width` pixels, each row `bytesPerRow` bytes from `pixels`, most
// significant bit leftmost, bit 1 white and bit 0 black (as a PageBitmap
// holds them); bits past the width are ignored. The data are written most
// significant bit first, as a PDF /CCITTFaxDecode filter with /K -1 reads
// them, and end with EOFB, padded with zero bits to a whole byte.
// Any width of 1 or more and any number of rows; a width below 1 or a row
// shorter than the width gives no data. Throws std::bad_alloc when memory
// runs out.
std::vector<uint8_t> encodeMmrPage(const uint8_t* pixels, int32_t width, int32_t rows, int32_t bytesPerRow);

}  // namespace pagelift
