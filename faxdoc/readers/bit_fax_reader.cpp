#include "faxdoc/readers/bit_fax_reader.h"

#include "ccitt/coded_page.h"
#include "platform/little_endian.h"

#include <algorithm>
#include <cstring>

namespace pagelift {
namespace {

constexpr size_t kPageCountField = 9;
constexpr size_t kResolutionField = 14;
constexpr size_t kEntryTable = 16;
constexpr size_t kEntrySize = 16;

}  // namespace

int BitFaxReader::checkHeader()
{
    if (!isOpen()) return -1;
    header_.assign(kHeaderSize, 0);
    if (!readAt(0, header_.data(), header_.size())) {
        header_.clear();
        closeFile();
        return -2;
    }
    if (std::memcmp(header_.data(), "BIT  FAX", 8) != 0) {
        header_.clear();
        closeFile();
        return -3;
    }
    return 0;
}

uint16_t BitFaxReader::countPages()
{
    pages_ = header_.empty() ? 0 : std::min(le16(header_.data() + kPageCountField), kMaxPages);
    return pages_;
}

void BitFaxReader::setProbeSettings(uint16_t threshold, uint8_t flagCount)
{
    threshold_ = threshold;
    flagCount_ = flagCount;
}

void BitFaxReader::readPage(size_t index, PageBitmap& page)
{
    page = PageBitmap{};
    if (!isOpen() || index >= pages_) return;
    const uint8_t* entry = header_.data() + kEntryTable + kEntrySize * index;
    UnlabelledPage request;
    request.threshold = threshold_;
    request.flagCount = flagCount_;
    request.width = le16(entry);
    request.height = le16(entry + 2);
    // A width of 0 would let the detected width stand in; the entry's width
    // is what this format decodes with, so 0 is no page.
    if (request.width == 0) return;
    const uint32_t offset = le32(entry + 8);
    if (offset == 0 || !loadCodedDataWithin(offset, le32(entry + 4))) return;
    if (decodeUnlabelledPage(codedData().data(), static_cast<int32_t>(codedData().size()), request, page) != 0) return;
    page.resolutionUnit = 2;
    page.xResolution = 200;
    page.yResolution = resolutionOfFineCode(header_[kResolutionField]);
}

}  // namespace pagelift
