#pragma once

#include "faxdoc/fax_reader.h"
#include "raster/page_bitmap.h"

#include <array>
#include <cstdint>
#include <optional>

namespace pagelift {

// fx page files: every page starts with a 128-byte header that gives its
// size, its coding (Modified Huffman or T.6, least significant bit first),
// its vertical resolution, an identification text and where the next page
// header stands; the coded data follow the header.
class FxReader : public FaxReader {
public:
    static constexpr size_t kHeaderSize = 128;
    static constexpr size_t kTextFieldSize = 80;

    // 0 when a page header stands at offset 0; -1 no open file; -3 no page
    // header (the file is then closed).
    int checkHeader();

    // Follows the chain of page headers from offset 0 (see walkPageChain).
    // Returns the page count; with none the file is closed.
    uint16_t countPages();

    // Decodes page `index` into `page` with the size its header gives (width
    // 0 means 1728, rows 0 mean 3432), 200 dpi across and the header's
    // vertical resolution. A page that cannot be read is left empty.
    void readPage(size_t index, PageBitmap& page);

    // Gives `page` the identification text of page `index` as its second
    // text (at most the 80 bytes of its field, up to a zero byte); with no
    // text, or no such page, all three texts are empty.
    void readPageText(size_t index, PageBitmap& page);

private:
    // The header at `offset` (bytes past the end read as zero), or nullopt
    // when none stands there.
    std::optional<std::array<uint8_t, kHeaderSize>> pageHeaderAt(uint64_t offset);

    std::array<uint8_t, kHeaderSize> header_{};
    uint16_t xResolution_ = 200;
    int16_t yResolution_ = 100;
};

}  // namespace pagelift
