#pragma once

#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"

#include <cstdint>
#include <vector>

namespace pagelift {

// "BIT  FAX" files: a 2048-byte header with the page count, a vertical
// resolution code and a table of 127 page entries (width, rows, length and
// offset of the coded data). The file does not say how the pages are coded;
// trial decoding finds coding and bit order.
class BitFaxReader : public FaxReader {
public:
    static constexpr size_t kHeaderSize = 2048;
    static constexpr uint16_t kMaxPages = 127;

    // 0 when the file starts with "BIT  FAX"; -1 no open file; -2 the header
    // cannot be read; -3 not a "BIT  FAX" file. On -2 and -3 the file is
    // closed.
    int checkHeader();

    // The header's page count, at most 127.
    uint16_t countPages();

    // What the trial decoding needs: lines that must agree, and the flag
    // count of the T.6 flag search.
    void setProbeSettings(uint16_t threshold, uint8_t flagCount);

    // Decodes page `index` into `page` with the width and rows of its entry,
    // 200 dpi across and the header's vertical resolution. A page without
    // data or whose coding cannot be found is left empty.
    void readPage(size_t index, PageBitmap& page);

private:
    std::vector<uint8_t> header_;
    uint16_t pages_ = 0;
    uint16_t threshold_ = 50;
    uint8_t flagCount_ = 3;
};

}  // namespace pagelift
