#pragma once

#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"

#include <cstdint>

namespace pagelift {

// G3 files of "PC Research, Inc": every page starts with a 64-byte header
// (a zero byte, then that signature) and its coded data run to the next
// page header or the end of the file. The file does not say how the pages
// are coded; trial decoding finds coding, bit order and width.
class PcResearchReader : public FaxReader {
public:
    static constexpr size_t kHeaderSize = 64;

    // 0 when the file starts with a page header; -1 no open file; -2 the
    // header cannot be read; -3 no signature. On -2 and -3 the file is closed.
    int checkHeader();

    // Finds the page headers: offset 0, then every later place where a zero
    // byte and the signature stand (a match inside a page's coded data starts
    // a new page there too). Returns the page count.
    uint16_t countPages();

    // What the trial decoding needs: lines that must agree, and the flag
    // count of the stream's T.6 search.
    void setProbeSettings(uint16_t threshold, uint8_t flagCount);

    // Decodes page `index` into `page` (up to 3288 rows of the width the
    // trial decoding finds, 200 x 200 dpi). A page shorter than its header,
    // or one whose coding cannot be found, is left empty.
    void readPage(size_t index, PageBitmap& page);

private:
    uint16_t threshold_ = 50;
    uint8_t flagCount_ = 3;
};

}  // namespace pagelift
