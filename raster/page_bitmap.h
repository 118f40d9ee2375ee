#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace pagelift {

// Source codings a page can come from; the same numbers are stored in the
// working files of the raw-stream analysis.
enum PageCoding : uint8_t {
    CodingUncompressed = 1,
    CodingPcxRunLength = 2,
    CodingMhByteAligned = 3,
    CodingMhWordAligned = 4,
    CodingMhWithEol = 5,
    CodingMr = 6,
    CodingMmr = 7,
    CodingPackBits = 8,
    CodingJbig = 9,
};

// One decoded page: 1 bit per pixel, most significant bit leftmost,
// bit 1 = white, bit 0 = black, rows top to bottom, each row exactly
// bytesPerRow bytes. A page "exists" when width > 0 and rows > 0.
struct PageBitmap {
    int32_t reserved = 0;
    int32_t width = 0;
    int32_t rows = 0;
    int32_t bytesPerRow = 0;
    int16_t planes = 0;
    int16_t bitsPerPixel = 0;
    uint32_t codedLength = 0;
    uint16_t xResolution = 0;
    int16_t yResolution = 0;
    uint8_t resolutionUnit = 0;
    uint8_t fillOrder = 0;
    uint8_t coding = 0;
    uint8_t paperSize = 0;
    uint8_t photometric = 0;
    std::vector<uint8_t> pixels;       // rows x bytesPerRow bytes
    std::array<std::string, 3> texts;  // texts[1]: the page's identification text, if any

    bool hasPage() const { return width > 0 && rows > 0; }

    // Copies every field but the pixels and the texts.
    void copyHeaderFrom(const PageBitmap& other);
};

}  // namespace pagelift
