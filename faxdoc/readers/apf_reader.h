#pragma once

#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"

#include <array>
#include <cstdint>

namespace pagelift {

// "APF10" files: a 64-byte file header with the page count and the offset of
// the first page record; each 16-byte page record gives the length of the
// Modified Huffman data that follow it (least significant bit first), and
// the next record follows those data.
class ApfReader : public FaxReader {
public:
    static constexpr size_t kHeaderSize = 64;
    static constexpr size_t kRecordSize = 16;

    // 0 when the file starts with "APF10"; -1 no open file; -2 the header
    // cannot be read; -3 not an APF file. On -2 and -3 the file is closed.
    int checkHeader();

    // Records the offset of each page record, following the chain from the
    // first one until the header's page count is reached. The chain ends
    // early at a record that cannot be read and at one whose data reach the
    // end of the file (no record can follow it). Returns the page count.
    uint16_t countPages();

    // Decodes page `index` into `page`: 1728 pixels wide (2048 for a wide
    // page), up to 3000 rows, 200 x 200 dpi for fine pages and 200 x 100
    // otherwise. A page that cannot be read is left empty.
    void readPage(size_t index, PageBitmap& page);

private:
    std::array<uint8_t, kHeaderSize> header_{};
    bool fine_ = false;
    bool wide_ = false;
    bool wordPerLine_ = false;  // every line carries a two-byte word
};

}  // namespace pagelift
