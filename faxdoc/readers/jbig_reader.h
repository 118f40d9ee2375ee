#pragma once

#include "faxdoc/fax_format.h"
#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"

#include <cstdint>

namespace pagelift {

// The format code of bare JBIG files.
inline constexpr FaxFormat Jbig = FaxFormat(20);

// Bare JBIG files (.jbg, .jbig): one bi-level image entity, as pbmtojbg
// writes it, is one page at 200 dots per inch both ways (a BIE states no
// resolution). Pixels of value 1 are black.
class JbigReader : public FaxReader {
public:
    // The largest file read: more than any page within the page limits
    // takes, even coded worse than uncompressed.
    static constexpr uint64_t kMaxFileBytes = uint64_t{1} << 27;

    // 0 when the file opens with a BIE header (in either bit order); -1 no
    // open file; -3 none (the file is then closed).
    int checkHeader();

    // A JBIG file holds one page.
    uint16_t countPages();

    // Decodes the page (index 0) into `page`. A BIE whose size passes the
    // page limits gives a page that describes that size, without pixels; one
    // that ends early or does not decode leaves `page` empty.
    void readPage(size_t index, PageBitmap& page);
};

}  // namespace pagelift
