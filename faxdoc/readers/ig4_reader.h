#pragma once

#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"

#include <array>
#include <cstdint>

namespace pagelift {

// .ig4 files: one page stored as T.6 strips (least significant bit first).
// The last 336 bytes are a trailer that points at a 208-byte image
// description (byte order mark, rows per strip, width) and at a 272-byte
// strip directory (strip count, up to 66 strip offsets). The strips lie
// before the description, one after the other.
class Ig4Reader : public FaxReader {
public:
    static constexpr size_t kTrailerSize = 336;
    static constexpr size_t kDescriptionSize = 208;
    static constexpr size_t kDirectorySize = 272;
    static constexpr size_t kMaxStrips = 66;

    // 0 valid; -1 no open file; -2 the trailer cannot be read; -3 not an
    // .ig4 file; -4 the image description cannot be read; -5 the strip
    // directory cannot be read. On every failure the file is closed.
    int checkHeader();

    // An .ig4 file holds one page.
    uint16_t countPages() { return 1; }

    // Decodes the page (index 0) into `page`, strip after strip, at 300 x 300
    // dpi; rows are mirrored when the description starts with "MM". The
    // strips end at the first offset that is 0 or not before the
    // description. A page whose size is empty or too large, or whose strips
    // decode to no row, is left empty.
    void readPage(size_t index, PageBitmap& page);

private:
    // Where strip `index` ends: at the next strip's offset when that lies
    // after its own, otherwise (and never later than) at the description.
    uint64_t stripEnd(size_t index) const;
    // Decodes strip `index` (at most `rowLimit` rows) and appends its rows.
    // False when the strip cannot be read.
    bool appendStrip(size_t index, int32_t rowLimit, PageBitmap& page);

    uint64_t descriptionOffset_ = 0;
    std::array<uint8_t, kDescriptionSize> description_{};
    std::array<uint32_t, kMaxStrips> stripOffsets_{};
    size_t stripCount_ = 0;
};

}  // namespace pagelift
