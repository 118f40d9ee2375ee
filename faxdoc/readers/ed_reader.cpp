#include "faxdoc/readers/ed_reader.h"

#include "ccitt/coded_page.h"
#include "faxdoc/header_resolution.h"
#include "platform/big_endian.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace pagelift {
namespace {

constexpr uint8_t kSignature[] = {0xFF, 0xFF, 0x00, 0x01};
constexpr size_t kResolutionField = 614;
constexpr size_t kRowsField = 732;
constexpr size_t kWidthField = 736;

}  // namespace

int EdReader::checkHeader()
{
    if (!isOpen()) return -1;
    std::array<uint8_t, kHeaderSize> header{};
    if (!readAt(0, header.data(), header.size())) {
        closeFile();
        return -2;
    }
    if (!std::equal(std::begin(kSignature), std::end(kSignature), header.begin())) {
        closeFile();
        return -3;
    }
    resolution_ = be16(header.data() + kResolutionField);
    rows_ = be32(header.data() + kRowsField);
    width_ = be32(header.data() + kWidthField);
    return 0;
}

void EdReader::readPage(size_t index, PageBitmap& page)
{
    page = PageBitmap{};
    if (!isOpen() || index != 0 || !pageGeometryFits(width_, rows_)) return;
    if (!loadCodedDataWithin(kHeaderSize, static_cast<uint64_t>(fileSize()))) return;

    CodedPageLayout layout;
    layout.bitOrder = 2;
    layout.coding = FaxMmr;
    layout.polarity = 0;
    layout.width = static_cast<int32_t>(width_);
    layout.height = static_cast<int32_t>(rows_);
    decodeCodedPage(codedData().data(), static_cast<int32_t>(codedData().size()), layout, page);
    if (!page.hasPage()) {
        page = PageBitmap{};
        return;
    }
    setResolutionFromHeader(page, resolution_, resolution_);
}

}  // namespace pagelift
