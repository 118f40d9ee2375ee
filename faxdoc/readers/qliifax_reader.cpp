#include "faxdoc/readers/qliifax_reader.h"

#include "ccitt/coded_page.h"
#include "platform/little_endian.h"

#include <algorithm>
#include <cstring>

namespace pagelift {
namespace {

constexpr size_t kPageCountField = 8;
constexpr size_t kLastPageRowsField = 10;
constexpr size_t kPageRowsField = 12;
constexpr size_t kResolutionField = 16;
constexpr size_t kOffsetTable = 32;

int16_t verticalResolution(uint16_t code)
{
    switch (code) {
    case 1: return 200;
    case 2: return 100;
    default: return 400;
    }
}

}  // namespace

int QliifaxReader::checkHeader()
{
    if (!isOpen()) return -1;
    header_.assign(kHeaderSize, 0);
    if (!readAt(0, header_.data(), header_.size()) || std::memcmp(header_.data(), "QLIIFAX", 8) != 0) {
        header_.clear();
        closeFile();
        return -2;
    }
    return 0;
}

uint16_t QliifaxReader::countPages()
{
    pages_ = header_.empty() ? 0 : std::min(le16(header_.data() + kPageCountField), kMaxPages);
    return pages_;
}

void QliifaxReader::setProbeSettings(uint16_t threshold, uint8_t flagCount)
{
    threshold_ = threshold;
    flagCount_ = flagCount;
}

uint32_t QliifaxReader::dataOffset(size_t index) const
{
    return index < kMaxPages ? le32(header_.data() + kOffsetTable + 4 * index) : 0;
}

void QliifaxReader::readPage(size_t index, PageBitmap& page)
{
    page = PageBitmap{};
    if (!isOpen() || index >= pages_) return;
    const uint64_t start = dataOffset(index);
    if (start == 0) return;
    // A page runs to the next page's data, or to the end of the file when
    // there is no next page or its offset does not lie further on.
    const uint64_t next = dataOffset(index + 1);
    const uint64_t end = next > start ? next : static_cast<uint64_t>(fileSize());
    if (!loadCodedDataWithin(start, end - start)) return;

    UnlabelledPage request;
    request.threshold = threshold_;
    request.flagCount = flagCount_;
    const bool lastPage = index + 1 == pages_;
    request.height = static_cast<int32_t>(std::min<uint32_t>(
        lastPage ? le16(header_.data() + kLastPageRowsField) : le32(header_.data() + kPageRowsField), INT32_MAX));
    if (decodeUnlabelledPage(codedData().data(), static_cast<int32_t>(codedData().size()), request, page) != 0) return;
    page.resolutionUnit = 2;
    page.xResolution = 200;
    page.yResolution = verticalResolution(le16(header_.data() + kResolutionField));
}

}  // namespace pagelift
