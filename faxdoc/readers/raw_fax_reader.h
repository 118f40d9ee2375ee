#pragma once

#include "ccitt/page_heights.h"
#include "settings/decode_settings.h"
#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace pagelift {

// A bare stream of CCITT coded lines with no header. The analysis decodes it
// whole into the working image (see ccitt/raw_work_files.h); the pages are
// then cut out of that image, rowsPerPage rows each, by paper size and
// vertical resolution.
class RawFaxReader : public FaxReader {
public:
    // Takes what the analysis needs from the document's settings.
    void takeSettings(const DecodeSetup& setup);

    // Loads the open source whole and runs the analysis. bitOrder 1 or 2
    // tries MH/MR then MMR in that order; 0 tries MH/MR least significant bit
    // first, MH/MR most significant first, MMR least, MMR most, and stops at
    // the first success. Returns >= 0 when the working image was made; -1
    // when the source cannot be loaded or every attempt failed.
    int analyse(uint8_t bitOrder, bool anyWidth);

    // Copies the working image's header fields into `page` (no pixels) and
    // records its row count. 0; -1 when the file cannot be opened or read, or
    // its header describes no usable image.
    int readImageHeader(const std::string& path, PageBitmap& page);

    // The whole open step for an open source: settings, analysis, header of
    // the working image (whose vertical resolution `resolution` replaces when
    // it is not 0), rows per page. Returns the page count (>= 0), or -1 when
    // there is no working image to read pages from; `page` is then empty.
    int prepare(const DecodeSetup& setup, PageBitmap& page);

    // ceil(total rows / rowsPerPage), at most 65535 (what a page count holds).
    uint16_t countPages() const;

    // Cuts page `index` out of the working image into `page`: at most
    // rowsPerPage rows, fewer on the last page; rows the file lacks are
    // white. xResolution is at least 200; yResolution is the one that chose
    // rowsPerPage. Does nothing while no source is open; a page that cannot
    // be read is left empty.
    void readPage(size_t index, PageBitmap& page);

    uint32_t totalRows() const { return totalRows_; }
    uint32_t rowsPerPage() const { return rowsPerPage_; }

private:
    uint32_t totalRows_ = 0;
    uint32_t rowsPerPage_ = 0;
    uint16_t threshold_ = 50;
    uint8_t flagNum_ = 3;
    uint16_t minWidth_ = 1728;
    uint8_t rawData_ = 0;
    std::string rawImagePath_;
    std::string rawSegmentPath_;
    int16_t pageResolution_ = 100;  // the vertical resolution the pages are cut by
};

}  // namespace pagelift
