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
    uint16_t type;  // 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL
    uint32_t count;
    uint32_t value;
};

}  // namespace

std::vector<uint8_t> blankGroup4Tiff(const std::vector<BlankPage>& pages)
{
    std::vector<Group4Page> coded;
    for (const BlankPage& page : pages) coded.push_back({page, blankGroup4Strip(page.rows), {}, {}});
    return group4Tiff(coded);
}

std::vector<uint8_t> group4Tiff(const std::vector<Group4Page>& pages)
{
    ByteBuilder tiff;
    tiff.text(0, "II").u16(2, 42).u32(4, 0);
    size_t previousNext = 4;  // where the offset of the next directory goes
    // A text with its terminating zero: in the entry when it fits there (the
    // value of the entry then), else at an even offset (the offset).
    const auto placeText = [&](const std::string& text) {
        if (text.size() < 4) {
            uint32_t inPlace = 0;
            for (size_t index = 0; index < text.size(); ++index) inPlace |= uint32_t(uint8_t(text[index])) << (8 * index);
            return inPlace;
        }
        const size_t at = (tiff.size() + 1) & ~size_t{1};
        tiff.text(at, text).u8(at + text.size(), 0);
        return uint32_t(at);
    };
    for (const Group4Page& coded : pages) {
        const BlankPage& page = coded.size;
        const size_t stripAt = (tiff.size() + 1) & ~size_t{1};
        tiff.bytes(stripAt, coded.strip);
        const size_t resolutions = (tiff.size() + 1) & ~size_t{1};
        tiff.u32(resolutions, page.xDpi).u32(resolutions + 4, 1).u32(resolutions + 8, page.yDpi).u32(resolutions + 12, 1);
        std::vector<Tag> tags = {
            {256, 4, 1, page.width},  {257, 4, 1, page.rows}, {258, 3, 1, 1}, {259, 3, 1, 4}, {262, 3, 1, 0},
            {273, 4, 1, uint32_t(stripAt)}, {277, 3, 1, 1}, {278, 4, 1, page.rows},
            {279, 4, 1, uint32_t(coded.strip.size())}, {282, 5, 1, uint32_t(resolutions)},
            {283, 5, 1, uint32_t(resolutions + 8)}, {296, 3, 1, 2},
        };
        // Texts in tag order: ImageDescription after PhotometricInterpretation,
        // DateTime after ResolutionUnit.
        if (!coded.description.empty()) {
            tags.insert(tags.begin() + 5, Tag{270, 2, uint32_t(coded.description.size() + 1), placeText(coded.description)});
        }
        if (!coded.dateTime.empty()) {
            tags.push_back(Tag{306, 2, uint32_t(coded.dateTime.size() + 1), placeText(coded.dateTime)});
        }
        const size_t directory = (tiff.size() + 1) & ~size_t{1};
        tiff.u16(directory, uint16_t(tags.size()));
        size_t at = directory + 2;
        for (const Tag& tag : tags) {
            tiff.u16(at, tag.tag).u16(at + 2, tag.type).u32(at + 4, tag.count).u32(at + 8, tag.value);
            at += 12;
        }
        tiff.u32(at, 0);
        tiff.u32(previousNext, uint32_t(directory));
        previousNext = at;
    }
    return tiff.result();
}

}  // namespace pagelift::testing
