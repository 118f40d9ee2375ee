#include "ccitt/page_setup.h"

#include "ccitt/paper_size.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace pagelift {

void describeDecodedPage(const CcittDecoder& decoder, uint8_t coding, PageBitmap& page)
{
    const int32_t width = decoder.width();
    const int64_t bytesPerRow = (int64_t(width) + 7) / 8;
    const PaperClass paper = paperSizeForWidth(width);
    page.reserved = 0;
    page.width = width;
    page.rows = 0;
    page.bytesPerRow = int32_t(std::clamp<int64_t>(bytesPerRow, 0, kMaxPageBytes));
    page.planes = 1;
    page.bitsPerPixel = 1;
    page.codedLength = uint32_t(std::max(decoder.size(), 0));
    page.xResolution = paper.xResolution;
    page.yResolution = 100;
    page.resolutionUnit = 2;
    page.fillOrder = decoder.bitOrder();
    page.coding = coding;
    page.paperSize = paper.paperSize;
    page.photometric = decoder.polarity();
}

int setUpPage(const CcittDecoder& decoder, PageBitmap& page, uint8_t coding)
{
    const int32_t width = decoder.width();
    const int32_t height = decoder.height();
    const int64_t bytesPerRow = (int64_t(width) + 7) / 8;
    describeDecodedPage(decoder, coding, page);
    std::vector<uint8_t>().swap(page.pixels);

    if (width <= 0 || height < 0 || bytesPerRow > kMaxPageBytes) return -1;
    const int64_t bytes = bytesPerRow * height;
    if (bytes > kMaxPageBytes) return -1;
    // Only reserved: rows are zeroed as decoding reaches them, so memory for
    // rows the data never fill (a strip shorter than the rows allowed) is
    // neither cleared nor touched, and no row is cleared twice.
    try {
        page.pixels.reserve(size_t(bytes));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return 0;
}

RowCursor startRow(PageBitmap& page, int32_t index, int32_t height)
{
    const uint32_t rowBytes = uint32_t(page.bytesPerRow);
    if (index < 0 || index >= height) return rowCursorAt(nullptr, rowBytes);
    uint8_t* row = detail::rowStartOf(page, index, rowBytes, 0);
    std::memset(row, 0, rowBytes);
    return rowCursorAt(row, rowBytes);
}

void restartRow(RowCursor& cursor)
{
    if (cursor.row != nullptr) std::memset(cursor.row, 0, cursor.rowBytes);
    cursor.byteIndex = 0;
    cursor.bitIndex = 0;
}

void copyRow(PageBitmap& page, int32_t from, int32_t to, int32_t height)
{
    if (from < 0 || to < 0 || from >= height || to >= height || from == to) return;
    const size_t rowBytes = size_t(page.bytesPerRow);
    // Only rows handed out by startRow are there to copy.
    if ((size_t(std::max(from, to)) + 1) * rowBytes > page.pixels.size()) return;
    std::memcpy(page.pixels.data() + size_t(to) * rowBytes, page.pixels.data() + size_t(from) * rowBytes, rowBytes);
}

void finishPage(PageBitmap& page, int32_t rows)
{
    page.rows = rows;
    page.pixels.resize(size_t(rows) * size_t(page.bytesPerRow));
}

uint32_t runCapacityFor(const CcittDecoder& decoder)
{
    const int64_t byWidth = int64_t(std::max(decoder.width(), 0)) + 2;
    const int64_t byData = int64_t(std::max(decoder.size(), 0)) * 8 + 2;
    return uint32_t(std::min(byWidth, byData));
}

}  // namespace pagelift
