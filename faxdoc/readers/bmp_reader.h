#pragma once

#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"

#include <array>
#include <cstdint>

namespace pagelift {

// One-page, one-bit BMP files: a 14-byte file header, an information header
// of at least 40 bytes, a colour table and rows padded to 4 bytes, stored
// bottom-up (positive height) or top-down (negative height).
class BmpReader : public FaxReader {
public:
    static constexpr size_t kFileHeaderSize = 14;
    static constexpr size_t kInfoHeaderSize = 40;

    // 0 when the file starts with "BM"; -1 no open file; -2 the file header
    // cannot be read; -3 not a BMP file. On -2 and -3 the file is closed.
    int checkHeader();

    // A BMP file holds one page.
    uint16_t countPages() { return 1; }

    // Decodes the page (index 0) into `page`: uncompressed rows, white where
    // the file ends early, resolutions from the pixels-per-metre fields. A
    // colour table that lists the lighter colour first makes bit value 0
    // white; otherwise bit value 1 is white. A page whose information header
    // is short or smaller than 40 bytes, whose bits per pixel are not 1,
    // whose size is empty or too large, or whose pixels cannot be allocated
    // is left empty.
    void readPage(size_t index, PageBitmap& page);

private:
    // True when the first two colour-table entries are there and the first
    // is the lighter (by the sum of red, green and blue).
    bool tableListsLighterFirst(uint32_t infoSize, uint32_t coloursUsed);
    // Copies the rows the file holds into the white page, turning them top
    // to bottom and into 1 = white, their padding bits white.
    void readRows(uint64_t stride, bool bottomUp, bool invert, PageBitmap& page);

    std::array<uint8_t, kFileHeaderSize> fileHeader_{};
};

}  // namespace pagelift
