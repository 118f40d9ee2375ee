#pragma once

#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"

#include <cstdint>
#include <vector>

namespace pagelift {

// QLIIFAX files: a 1532-byte header with the page count, the rows of the
// pages, a vertical resolution code and a table of 375 page offsets. Each
// page's coded data run to the next page's offset. The file does not say
// how the pages are coded; trial decoding finds coding, bit order and width.
class QliifaxReader : public FaxReader {
public:
    static constexpr size_t kHeaderSize = 1532;
    static constexpr uint16_t kMaxPages = 375;

    // 0 when the header starts with the zero-ended text "QLIIFAX"; -1 no
    // open file; -2 the header cannot be read or is not a QLIIFAX header
    // (the file is then closed).
    int checkHeader();

    // The header's page count, at most 375.
    uint16_t countPages();

    // What the trial decoding needs: lines that must agree, and the flag
    // count of the T.6 flag search.
    void setProbeSettings(uint16_t threshold, uint8_t flagCount);

    // Decodes page `index` into `page`: the rows the header gives the page,
    // the width trial decoding finds, 200 dpi across and the header's
    // vertical resolution. A page without data or whose coding cannot be
    // found is left empty.
    void readPage(size_t index, PageBitmap& page);

private:
    uint32_t dataOffset(size_t index) const;

    std::vector<uint8_t> header_;
    uint16_t pages_ = 0;
    uint16_t threshold_ = 50;
    uint8_t flagCount_ = 3;
};

}  // namespace pagelift
