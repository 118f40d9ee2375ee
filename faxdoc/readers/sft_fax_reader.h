#pragma once

#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"

#include <array>
#include <cstdint>
#include <optional>

namespace pagelift {

// "SFT-FAX" files: every page starts with a 64-byte header that states its
// coding, bit order, size and resolution; the coded data follow the header,
// and the next header stands where the header's data offset plus its data
// length point.
class SftFaxReader : public FaxReader {
public:
    static constexpr size_t kHeaderSize = 64;

    // 0 when a page header stands at offset 0; -1 no open file; -3 no page
    // header (the file is then closed).
    int checkHeader();

    // Follows the chain of page headers from offset 0 (see walkPageChain).
    // Returns the page count; with none the file is closed.
    uint16_t countPages();

    // Decodes page `index` into `page` with the size its header gives (width
    // 0 means 1728, rows 0 mean 4576) and its header's resolutions. A page
    // whose coding is not 3 to 7, or that cannot be read, is left empty.
    void readPage(size_t index, PageBitmap& page);

private:
    // The header at `offset` (bytes past the end read as zero), or nullopt
    // when none stands there.
    std::optional<std::array<uint8_t, kHeaderSize>> pageHeaderAt(uint64_t offset);

    std::array<uint8_t, kHeaderSize> header_{};
};

}  // namespace pagelift
