#pragma once

#include "faxdoc/fax_format.h"
#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"

#include <cstdint>
#include <vector>

namespace pagelift {

// The format code of SFF files.
inline constexpr FaxFormat Sff = FaxFormat(19);

// SFF files, the fax files of CAPI 2.0 ISDN software: a 20-byte document
// header ("Sfff"), then per page a page header (byte 254, a length, the
// resolutions, the line length) and records up to the next page header:
// lines of Modified Huffman codes without EOL, least significant bit first,
// runs of white lines, and lines the receiver could not read. Records are
// read in order; the offsets the headers give are not relied on.
class SffReader : public FaxReader {
public:
    static constexpr size_t kDocumentHeaderSize = 20;

    // 0 when the file opens with the document header; -1 no open file; -3
    // no such header (the file is then closed).
    int checkHeader();

    // Walks the page headers in order. Returns the page count (at most
    // kMaxPages); with none the file is closed.
    uint16_t countPages();

    // Decodes page `index` into `page`: a row per line record, as many white
    // rows as a white-line record says, a copy of the row before for a line
    // the receiver could not read. A line keeps what it decoded within the
    // page's line length, white after it. A page whose lines are fewer than
    // its header says ends with its last line. Pages that cannot be read,
    // or would pass the page limits, are left empty.
    void readPage(size_t index, PageBitmap& page);

private:
    // The whole file in codedData(); false when it cannot be read.
    bool loadFile();
};

}  // namespace pagelift
