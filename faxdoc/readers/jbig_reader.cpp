#include "faxdoc/readers/jbig_reader.h"

#include "faxdoc/jbig_image.h"

#include <algorithm>
#include <array>

namespace pagelift {
namespace {

constexpr uint16_t kDotsPerInch = 200;

}  // namespace

int JbigReader::checkHeader()
{
    if (!isOpen()) return -1;
    std::array<uint8_t, kJbigHeaderSize> header{};
    const bool present = readAt(0, header.data(), header.size()) && jbigHeaderReversed(header.data(), header.size()).has_value();
    return acceptFirstPageHeader(present);
}

uint16_t JbigReader::countPages()
{
    clearPageOffsets();
    if (isOpen()) addPageOffset(0);
    return pageCount();
}

void JbigReader::readPage(size_t index, PageBitmap& page)
{
    page = PageBitmap{};
    if (!isOpen() || index != 0) return;
    const uint64_t length = std::min<uint64_t>(uint64_t(fileSize()), kMaxFileBytes);
    if (!loadCodedDataWithin(0, length)) return;
    const int result = decodeJbigImage(codedData().data(), codedData().size(), JbigReading{}, page);
    if (result != JbigDecoded && result != JbigTooLarge) return;
    page.xResolution = kDotsPerInch;
    page.yResolution = kDotsPerInch;
    page.resolutionUnit = 2;
}

}  // namespace pagelift
