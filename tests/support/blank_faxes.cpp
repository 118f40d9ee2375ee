#include "support/blank_faxes.h"

#include "support/byte_builder.h"

namespace pagelift::testing {
namespace {

// One V0 code ('1') per row, then EOFB (two EOLs), padded to a byte.
std::vector<uint8_t> blankGroup4Strip(uint32_t rows)
{
    const size_t bits = size_t{rows} + 24;
    std::vector<uint8_t> strip((bits + 7) / 8, 0);
    for (size_t bit = 0; bit < rows; ++bit) strip[bit / 8] |= uint8_t(0x80u >> (bit % 8));
    for (const size_t one : {size_t{rows} + 11, size_t{rows} + 23}) strip[one / 8] |= uint8_t(0x80u >> (one % 8));
    return strip;
}

struct Tag {
    uint16_t tag;
    uint16_t type;  // 3 SHORT, 4 LONG, 5 RATIONAL
    uint32_t value;
};

}  // namespace

std::vector<uint8_t> blankGroup4Tiff(const std::vector<BlankPage>& pages)
{
    ByteBuilder tiff;
    tiff.text(0, "II").u16(2, 42).u32(4, 0);
    size_t previousNext = 4;  // where the offset of the next directory goes
    for (const BlankPage& page : pages) {
        const std::vector<uint8_t> strip = blankGroup4Strip(page.rows);
        const size_t stripAt = (tiff.size() + 1) & ~size_t{1};
        tiff.bytes(stripAt, strip);
        const size_t resolutions = (tiff.size() + 1) & ~size_t{1};
        tiff.u32(resolutions, page.xDpi).u32(resolutions + 4, 1).u32(resolutions + 8, page.yDpi).u32(resolutions + 12, 1);
        const Tag tags[] = {
            {256, 4, page.width},  {257, 4, page.rows},         {258, 3, 1},
            {259, 3, 4},           {262, 3, 0},                 {273, 4, uint32_t(stripAt)},
            {277, 3, 1},           {278, 4, page.rows},         {279, 4, uint32_t(strip.size())},
            {282, 5, uint32_t(resolutions)}, {283, 5, uint32_t(resolutions + 8)}, {296, 3, 2},
        };
        const size_t directory = tiff.size();
        tiff.u16(directory, uint16_t(std::size(tags)));
        size_t at = directory + 2;
        for (const Tag& tag : tags) {
            tiff.u16(at, tag.tag).u16(at + 2, tag.type).u32(at + 4, 1).u32(at + 8, tag.value);
            at += 12;
        }
        tiff.u32(at, 0);
        tiff.u32(previousNext, uint32_t(directory));
        previousNext = at;
    }
    return tiff.result();
}

}  // namespace pagelift::testing
