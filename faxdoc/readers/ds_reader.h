#pragma once

#include "faxdoc/fax_reader.h"
#include "faxdoc/readers/tiff_reader.h"
#include "raster/page_bitmap.h"

#include <cstdint>
#include <string>

namespace pagelift {

// .ds files: a 280-byte header (0xFD 0xCA, then from byte 6 an end name),
// then a chain of 55-byte page records, each followed by a block that holds
// the page as a whole TIFF file. The chain ends at a record named like the
// end name.
class DsReader : public FaxReader {
public:
    static constexpr size_t kHeaderSize = 280;
    static constexpr size_t kRecordSize = 55;

    // 0 when the header is there and starts 0xFD 0xCA; -1 no open file; -2
    // the header cannot be read or is not a .ds header (the file is then
    // closed).
    int checkHeader();

    // Follows the record chain from offset 280 and records each page
    // record's offset. The chain ends at a record that cannot be read, at
    // the end record, and after a record whose block reaches the end of the
    // file. Returns the page count; with none the file is closed.
    uint16_t countPages();

    // Decodes page `index` into `page`: the first page of the TIFF file
    // embedded in its block, read where it lies in this file. A page whose
    // record cannot be read, whose embedded offset lies at or past its block
    // size, or whose embedded data are no readable TIFF page is left empty.
    void readPage(size_t index, PageBitmap& page);

private:
    std::string endName_;
    TiffReader embedded_;
};

}  // namespace pagelift
