#pragma once

#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"

#include <cstdint>

namespace pagelift {

// .ed files: a 740-byte header starting FF FF 00 01 whose big-endian fields
// give the resolution, the rows and the width, then one T.6 coded page
// (least significant bit first) up to the end of the file.
class EdReader : public FaxReader {
public:
    static constexpr size_t kHeaderSize = 740;

    // 0 when the header is there and starts FF FF 00 01; -1 no open file;
    // -2 the header cannot be read; -3 not an .ed file. On -2 and -3 the
    // file is closed.
    int checkHeader();

    // An .ed file holds one page.
    uint16_t countPages() { return 1; }

    // Decodes the page (index 0) into `page` at the header's resolution in
    // both directions (200 when it gives none). A page whose size is empty
    // or too large, or whose data decode to no row, is left empty.
    void readPage(size_t index, PageBitmap& page);

private:
    uint16_t resolution_ = 0;
    uint32_t rows_ = 0;
    uint32_t width_ = 0;
};

}  // namespace pagelift
