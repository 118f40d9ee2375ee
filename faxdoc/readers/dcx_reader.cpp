#include "faxdoc/readers/dcx_reader.h"

#include "ccitt/coded_page.h"
#include "ccitt/page_setup.h"
#include "faxdoc/header_resolution.h"
#include "platform/little_endian.h"

#include <algorithm>
#include <new>

namespace pagelift {
namespace {

constexpr uint32_t kDcxSignature = 987654321;

// Fields of the PCX header.
constexpr size_t kBitsPerPixelField = 3;
constexpr size_t kXMinField = 4;
constexpr size_t kYMinField = 6;
constexpr size_t kXMaxField = 8;
constexpr size_t kYMaxField = 10;
constexpr size_t kXResolutionField = 12;
constexpr size_t kYResolutionField = 14;
constexpr size_t kPlanesField = 65;
constexpr size_t kBytesPerLineField = 66;

constexpr uint8_t kRunMarker = 0xC0;

int16_t field16(const std::vector<uint8_t>& header, size_t at)
{
    return static_cast<int16_t>(le16(header.data() + at));
}

// What a PCX header says about the page, once its sizes agree.
struct PcxLayout {
    int32_t width = 0;
    int32_t rows = 0;
    size_t bytesPerLine = 0;
    size_t stride = 0;
};

// The layout of a one-bit, one-plane PCX page, or false when the header
// describes any other kind of page or sizes that contradict each other.
bool pcxLayoutOf(const std::vector<uint8_t>& page, PcxLayout& layout)
{
    if (page.size() < DcxReader::kPcxHeaderSize) return false;
    if (page[kBitsPerPixelField] != 1 || page[kPlanesField] != 1) return false;
    const int64_t width = int64_t{field16(page, kXMaxField)} - field16(page, kXMinField) + 1;
    const int64_t rows = int64_t{field16(page, kYMaxField)} - field16(page, kYMinField) + 1;
    const int64_t bytesPerLine = field16(page, kBytesPerLineField);
    if (width < 1 || rows < 1 || bytesPerLine < (width + 7) / 8) return false;
    // Lines of an odd length are stored in an even number of bytes.
    const int64_t stride = bytesPerLine + (bytesPerLine & 1);
    if (!pageGeometryFits(width, rows) || stride * rows > kMaxPageBytes) return false;
    layout.width = static_cast<int32_t>(width);
    layout.rows = static_cast<int32_t>(rows);
    layout.bytesPerLine = static_cast<size_t>(bytesPerLine);
    layout.stride = static_cast<size_t>(stride);
    return true;
}

}  // namespace

void decodePcxRows(const uint8_t* data, size_t size, size_t bytesPerLine, size_t stride, std::vector<uint8_t>& pixels)
{
    if (bytesPerLine == 0 || bytesPerLine > stride) return;
    const size_t rows = pixels.size() / stride;
    size_t row = 0;
    size_t column = 0;
    const auto put = [&](uint8_t byte) {
        pixels[row * stride + column] = byte;
        if (++column == bytesPerLine) {
            column = 0;
            ++row;
        }
    };
    size_t in = 0;
    while (in < size && row < rows) {
        const uint8_t byte = data[in++];
        if (byte <= kRunMarker) {
            put(byte);
            continue;
        }
        if (in >= size) break;  // a run without its byte ends the data
        const uint8_t repeated = data[in++];
        for (int count = byte - kRunMarker; count > 0 && row < rows; --count) put(repeated);
    }
}

int DcxReader::checkHeader()
{
    if (!isOpen()) return -1;
    uint8_t signature[4];
    if (!readAt(0, signature, sizeof signature)) {
        closeFile();
        return -2;
    }
    if (le32(signature) != kDcxSignature) {
        closeFile();
        return -3;
    }
    return 0;
}

uint16_t DcxReader::countPages()
{
    clearPageOffsets();
    uint8_t entry[4];
    for (uint64_t at = 4; readAt(at, entry, sizeof entry); at += sizeof entry) {
        const uint32_t offset = le32(entry);
        if (offset == 0 || addPageOffset(offset) != 0) break;
    }
    if (pageCount() == 0) closeFile();
    return pageCount();
}

bool DcxReader::loadPage(size_t index)
{
    const uint64_t offset = pageOffset(index);
    if (!isOpen() || offset == 0) return false;
    const uint64_t size = static_cast<uint64_t>(fileSize());
    // A next offset that does not lie after this page's, or lies past the
    // end, cannot bound the page: it runs to the end of the file instead.
    uint64_t end = size;
    if (offset >= size) return false;
    if (index + 1 < pageCount()) {
        const uint64_t next = pageOffset(index + 1);
        if (next > offset && next <= size) end = next;
    }
    // Nothing is loaded for a page too short to hold its own header.
    return end - offset >= kPcxHeaderSize && loadCodedDataWithin(offset, end - offset);
}

void DcxReader::readPage(size_t index, PageBitmap& page)
{
    page = PageBitmap{};
    PcxLayout layout;
    if (!loadPage(index) || !pcxLayoutOf(codedData(), layout)) return;
    const std::vector<uint8_t>& data = codedData();
    try {
        page.pixels.assign(size_t(layout.rows) * layout.stride, uint8_t{0});
    } catch (const std::bad_alloc&) {
        page = PageBitmap{};
        return;
    }
    decodePcxRows(data.data() + kPcxHeaderSize, data.size() - kPcxHeaderSize, layout.bytesPerLine, layout.stride,
                  page.pixels);
    page.width = layout.width;
    page.rows = layout.rows;
    page.bytesPerRow = static_cast<int32_t>(layout.stride);
    page.planes = 1;
    page.bitsPerPixel = 1;
    page.codedLength = static_cast<uint32_t>(data.size());
    page.coding = CodingPcxRunLength;
    setResolutionFromHeader(page, le16(data.data() + kXResolutionField), le16(data.data() + kYResolutionField));
}

}  // namespace pagelift
