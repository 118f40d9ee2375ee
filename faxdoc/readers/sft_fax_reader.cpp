#include "faxdoc/readers/sft_fax_reader.h"

#include "ccitt/coded_page.h"
#include "platform/little_endian.h"

#include <algorithm>
#include <cstring>

namespace pagelift {
namespace {

constexpr size_t kDataOffsetField = 8;
constexpr size_t kDataLengthField = 12;
constexpr size_t kWidthField = 16;
constexpr size_t kRowsField = 20;
constexpr size_t kBitOrderField = 26;
constexpr size_t kCodingField = 27;
constexpr size_t kXResolutionField = 28;
constexpr size_t kYResolutionField = 29;

constexpr uint32_t kDefaultWidth = 1728;
constexpr uint32_t kDefaultRows = 4576;

uint32_t orDefault(uint32_t value, uint32_t fallback) { return value == 0 ? fallback : value; }

}  // namespace

std::optional<std::array<uint8_t, SftFaxReader::kHeaderSize>> SftFaxReader::pageHeaderAt(uint64_t offset)
{
    std::array<uint8_t, kHeaderSize> header{};
    readZeroPadded(offset, header.data(), header.size());
    if (std::memcmp(header.data(), "SFT-FAX", 7) != 0) return std::nullopt;
    return header;
}

int SftFaxReader::checkHeader()
{
    return acceptFirstPageHeader(isOpen() && pageHeaderAt(0).has_value());
}

uint16_t SftFaxReader::countPages()
{
    walkPageChain([this](uint64_t offset) -> std::optional<uint64_t> {
        const auto header = pageHeaderAt(offset);
        if (!header) return std::nullopt;
        return uint64_t{le32(header->data() + kDataOffsetField)} + le32(header->data() + kDataLengthField);
    });
    return pageCount();
}

void SftFaxReader::readPage(size_t index, PageBitmap& page)
{
    page = PageBitmap{};
    if (!isOpen() || index >= pageCount()) return;
    const uint64_t offset = pageOffset(index);
    const auto header = pageHeaderAt(offset);
    if (!header) return;
    header_ = *header;
    // The data are read from right after the header, at most to the end of
    // the file.
    if (!loadCodedDataWithin(offset + kHeaderSize, le32(header_.data() + kDataLengthField))) return;

    CodedPageLayout layout;
    layout.bitOrder = header_[kBitOrderField] == 1 ? 1 : 2;
    layout.coding = header_[kCodingField];
    layout.width = static_cast<int32_t>(std::min<uint32_t>(orDefault(le32(header_.data() + kWidthField), kDefaultWidth), INT32_MAX));
    layout.height = static_cast<int32_t>(std::min<uint32_t>(orDefault(le32(header_.data() + kRowsField), kDefaultRows), INT32_MAX));
    decodeCodedPage(codedData().data(), static_cast<int32_t>(codedData().size()), layout, page);
    if (!page.hasPage()) {
        page = PageBitmap{};
        return;
    }
    page.resolutionUnit = 2;
    page.xResolution = header_[kXResolutionField];
    page.yResolution = header_[kYResolutionField];
}

}  // namespace pagelift
