#include "faxdoc/readers/ed_reader.h"

#include "faxdoc/whole_mmr_page.h"
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
    if (!isOpen() || index != 0) return;
    if (!loadCodedDataWithin(kHeaderSize, static_cast<uint64_t>(fileSize()))) return;
    WholeMmrPage header;
    header.bitOrder = 2;
    header.width = width_;
    header.rows = rows_;
    header.resolution = resolution_;
    decodeWholeMmrPage(codedData(), header, page);
}

}  // namespace pagelift
