#include "faxdoc/readers/ds_reader.h"

#include "platform/little_endian.h"

#include <algorithm>
#include <array>

namespace pagelift {
namespace {

constexpr size_t kEndNameField = 6;
constexpr size_t kNameLength = 47;  // the name field runs up to the block size
constexpr size_t kBlockSizeField = 47;
constexpr size_t kEmbeddedOffsetField = 51;

// A zero-terminated text held in a fixed field; a field without a zero is
// the text as a whole.
std::string textInField(const uint8_t* field, size_t length)
{
    const uint8_t* end = std::find(field, field + length, uint8_t{0});
    return std::string(field, end);
}

}  // namespace

int DsReader::checkHeader()
{
    if (!isOpen()) return -1;
    std::array<uint8_t, kHeaderSize> header{};
    if (!readAt(0, header.data(), header.size()) || header[0] != 0xFD || header[1] != 0xCA) {
        closeFile();
        return -2;
    }
    endName_ = textInField(header.data() + kEndNameField, kHeaderSize - kEndNameField);
    return 0;
}

uint16_t DsReader::countPages()
{
    clearPageOffsets();
    const uint64_t size = static_cast<uint64_t>(fileSize());
    uint64_t offset = kHeaderSize;
    uint8_t record[kRecordSize];
    while (offset <= UINT32_MAX && readAt(offset, record, sizeof record)) {
        if (textInField(record, kNameLength) == endName_) break;
        if (addPageOffset(static_cast<uint32_t>(offset)) != 0) break;
        // The next record always lies further on; one that would lie outside
        // the file ends the chain after this page.
        const uint64_t next = offset + kRecordSize + le32(record + kBlockSizeField);
        if (next >= size) break;
        offset = next;
    }
    if (pageCount() == 0) closeFile();
    return pageCount();
}

void DsReader::readPage(size_t index, PageBitmap& page)
{
    page = PageBitmap{};
    if (!isOpen() || index >= pageCount()) return;
    const uint64_t offset = pageOffset(index);
    uint8_t record[kRecordSize];
    if (!readAt(offset, record, sizeof record)) return;
    const uint32_t blockSize = le32(record + kBlockSizeField);
    const uint32_t embeddedOffset = le32(record + kEmbeddedOffsetField);
    if (embeddedOffset >= blockSize) return;

    // Read in place rather than copied out to a working file: nothing is
    // written, and no other run can replace the page in between.
    embedded_.openFileRange(openedPath(), offset + kRecordSize + embeddedOffset, blockSize - embeddedOffset);
    if (embedded_.checkHeader() == 0 && embedded_.countPages() > 0) embedded_.readPage(0, page);
    embedded_.closeFile();
}

}  // namespace pagelift
