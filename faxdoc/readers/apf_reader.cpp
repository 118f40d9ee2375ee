#include "faxdoc/readers/apf_reader.h"

#include "ccitt/ccitt_decoder.h"
#include "ccitt/fax_coding.h"
#include "ccitt/mh_decoder.h"
#include "platform/little_endian.h"

#include <cstring>

namespace pagelift {
namespace {

constexpr size_t kPageCountField = 32;
constexpr size_t kFirstRecordField = 34;

enum ApfFlag : uint8_t { FlagFine = 1, FlagWide = 2, FlagWordPerLine = 4 };

constexpr int32_t kNarrowWidth = 1728;
constexpr int32_t kWideWidth = 2048;
constexpr int32_t kPageRows = 3000;

}  // namespace

int ApfReader::checkHeader()
{
    if (!isOpen()) return -1;
    if (!readAt(0, header_.data(), header_.size())) {
        closeFile();
        return -2;
    }
    if (std::memcmp(header_.data(), "APF10", 5) != 0) {
        closeFile();
        return -3;
    }
    return 0;
}

uint16_t ApfReader::countPages()
{
    clearPageOffsets();
    const auto declared = static_cast<int16_t>(le16(header_.data() + kPageCountField));
    const uint64_t size = static_cast<uint64_t>(fileSize());
    uint64_t offset = le32(header_.data() + kFirstRecordField);
    addPageOffset(static_cast<uint32_t>(offset));
    while (pageCount() < declared) {
        uint8_t record[kRecordSize];
        if (!readAt(offset, record, sizeof record)) break;
        const uint64_t next = offset + kRecordSize + le32(record);
        if (next >= size || addPageOffset(static_cast<uint32_t>(next)) != 0) break;
        offset = next;
    }
    return pageCount();
}

void ApfReader::readPage(size_t index, PageBitmap& page)
{
    page = PageBitmap{};
    const uint32_t offset = pageOffset(index);
    if (!isOpen() || offset == 0) return;
    uint8_t record[kRecordSize];
    if (!readAt(offset, record, sizeof record)) return;
    const uint8_t flags = record[4];
    fine_ = (flags & FlagFine) != 0;
    wide_ = (flags & FlagWide) != 0;
    wordPerLine_ = (flags & FlagWordPerLine) != 0;
    // A last page cut short still gives the lines the file holds.
    if (!loadCodedDataWithin(uint64_t{offset} + kRecordSize, le32(record))) return;

    CcittDecoder decoder(codedData().data(), static_cast<int32_t>(codedData().size()), 2, FaxMhWithEol, 0);
    decoder.setGeometry(wide_ ? kWideWidth : kNarrowWidth, kPageRows);
    decodeMhPrefixedPage(decoder, page, wordPerLine_ ? 1 : 0);
    if (!page.hasPage()) {
        page = PageBitmap{};
        return;
    }
    page.resolutionUnit = 2;
    page.xResolution = 200;
    page.yResolution = fine_ ? 200 : 100;
}

}  // namespace pagelift
