#include "faxdoc/readers/fx_reader.h"

#include "ccitt/coded_page.h"
#include "platform/little_endian.h"

#include <algorithm>

namespace pagelift {
namespace {

constexpr size_t kWidthField = 3;
constexpr size_t kRowsField = 5;
constexpr size_t kCodingField = 7;
constexpr size_t kTextField = 9;
constexpr size_t kFirstTermField = 89;
constexpr size_t kSecondTermField = 105;
constexpr size_t kFirstFactorField = 113;
constexpr size_t kSecondFactorField = 114;
constexpr size_t kResolutionField = 115;
constexpr size_t kDataLengthField = 116;

constexpr uint16_t kDefaultWidth = 1728;
constexpr uint16_t kDefaultRows = 3432;

}  // namespace

std::optional<std::array<uint8_t, FxReader::kHeaderSize>> FxReader::pageHeaderAt(uint64_t offset)
{
    std::array<uint8_t, kHeaderSize> header{};
    readZeroPadded(offset, header.data(), header.size());
    if (header[0] != 0x0B || header[1] != 0x23) return std::nullopt;
    return header;
}

int FxReader::checkHeader()
{
    return acceptFirstPageHeader(isOpen() && pageHeaderAt(0).has_value());
}

uint16_t FxReader::countPages()
{
    walkPageChain([this](uint64_t offset) -> std::optional<uint64_t> {
        const auto header = pageHeaderAt(offset);
        if (!header) return std::nullopt;
        const uint8_t* h = header->data();
        return uint64_t{le32(h + kFirstTermField)} + le32(h + kSecondTermField) + le32(h + kDataLengthField) +
               uint64_t{h[kFirstFactorField]} * h[kSecondFactorField];
    });
    return pageCount();
}

void FxReader::readPage(size_t index, PageBitmap& page)
{
    page = PageBitmap{};
    if (!isOpen() || index >= pageCount()) return;
    const uint64_t offset = pageOffset(index);
    const auto header = pageHeaderAt(offset);
    if (!header) return;
    header_ = *header;
    xResolution_ = 200;
    yResolution_ = resolutionOfFineCode(header_[kResolutionField]);
    // The data are read from right after the header, at most to the end of
    // the file.
    if (!loadCodedDataWithin(offset + kHeaderSize, le32(header_.data() + kDataLengthField))) return;

    CodedPageLayout layout;
    layout.bitOrder = 2;
    layout.coding = header_[kCodingField] == 0 ? FaxMhWithEol : FaxMmr;
    const uint16_t width = le16(header_.data() + kWidthField);
    const uint16_t rows = le16(header_.data() + kRowsField);
    layout.width = width == 0 ? kDefaultWidth : width;
    layout.height = rows == 0 ? kDefaultRows : rows;
    decodeCodedPage(codedData().data(), static_cast<int32_t>(codedData().size()), layout, page);
    if (!page.hasPage()) {
        page = PageBitmap{};
        return;
    }
    page.resolutionUnit = 2;
    page.xResolution = xResolution_;
    page.yResolution = yResolution_;
}

void FxReader::readPageText(size_t index, PageBitmap& page)
{
    for (std::string& text : page.texts) text.clear();
    if (!isOpen() || index >= pageCount()) return;
    const auto header = pageHeaderAt(pageOffset(index));
    if (!header) return;
    const auto* field = header->data() + kTextField;
    page.texts[1].assign(field, std::find(field, field + kTextFieldSize, uint8_t{0}));
}

}  // namespace pagelift
