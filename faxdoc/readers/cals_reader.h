#pragma once

#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"

#include <array>
#include <cstdint>

namespace pagelift {

// CALS raster files: a 2048-byte text header of sixteen 128-byte records,
// then one T.6 coded page (most significant bit first). The header's
// "rpelcnt" gives width and rows, "rdensty" the resolution in dots per inch.
class CalsReader : public FaxReader {
public:
    static constexpr size_t kHeaderSize = 2048;
    static constexpr size_t kRecordSize = 128;

    // 0 when the header gives a width, rows and a density, none of them 0;
    // -1 no open file; -2 the header cannot be read or lacks one of them.
    // On -2 the file is closed.
    int checkHeader();

    // A CALS file holds one page.
    uint16_t countPages() { return 1; }

    // Decodes the page (index 0) into `page`, at the header's density in
    // both directions. A page whose size is empty or too large, or whose
    // data decode to no row, is left empty.
    void readPage(size_t index, PageBitmap& page);

private:
    int64_t width_ = 0;
    int64_t rows_ = 0;
    int64_t density_ = 0;
};

}  // namespace pagelift
