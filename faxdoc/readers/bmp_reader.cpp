#include "faxdoc/readers/bmp_reader.h"

#include "ccitt/coded_page.h"
#include "faxdoc/header_resolution.h"
#include "platform/little_endian.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace pagelift {
namespace {

constexpr size_t kPixelOffsetField = 10;

// Fields of the information header.
constexpr size_t kInfoSizeField = 0;
constexpr size_t kWidthField = 4;
constexpr size_t kHeightField = 8;
constexpr size_t kPlanesField = 12;
constexpr size_t kBitsPerPixelField = 14;
constexpr size_t kXPixelsPerMetreField = 24;
constexpr size_t kYPixelsPerMetreField = 28;
constexpr size_t kColoursUsedField = 32;

constexpr size_t kTableEntrySize = 4;  // blue, green, red, reserved

int brightness(const uint8_t* entry)
{
    return entry[0] + entry[1] + entry[2];
}

// The bits right of a row's last pixel, white so that no stored padding
// ever shows.
uint8_t rowEndPadding(int32_t width)
{
    if (width % 8 == 0) return 0;
    return static_cast<uint8_t>(0xFF >> (width % 8));
}

}  // namespace

int BmpReader::checkHeader()
{
    if (!isOpen()) return -1;
    if (!readAt(0, fileHeader_.data(), fileHeader_.size())) {
        closeFile();
        return -2;
    }
    if (fileHeader_[0] != 'B' || fileHeader_[1] != 'M') {
        closeFile();
        return -3;
    }
    return 0;
}

bool BmpReader::tableListsLighterFirst(uint32_t infoSize, uint32_t coloursUsed)
{
    // Colours used 0 means the full two entries of a one-bit image.
    if (coloursUsed == 1) return false;
    const uint64_t tableStart = kFileHeaderSize + uint64_t{infoSize};
    // Entries that would overlap the pixel data are no table at all.
    if (tableStart + 2 * kTableEntrySize > le32(fileHeader_.data() + kPixelOffsetField)) return false;
    uint8_t entries[2 * kTableEntrySize];
    if (!readAt(tableStart, entries, sizeof entries)) return false;
    return brightness(entries) > brightness(entries + kTableEntrySize);
}

void BmpReader::readRows(uint64_t stride, bool bottomUp, bool invert, PageBitmap& page)
{
    const uint64_t pixelOffset = le32(fileHeader_.data() + kPixelOffsetField);
    const uint64_t size = static_cast<uint64_t>(fileSize());
    const auto bytesPerRow = static_cast<size_t>(page.bytesPerRow);
    const uint8_t padding = rowEndPadding(page.width);
    for (int32_t stored = 0; stored < page.rows; ++stored) {
        const uint64_t offset = pixelOffset + uint64_t(stored) * stride;
        if (offset >= size) break;
        const auto available = static_cast<size_t>(std::min<uint64_t>(bytesPerRow, size - offset));
        const int32_t row = bottomUp ? page.rows - 1 - stored : stored;
        uint8_t* out = page.pixels.data() + size_t(row) * bytesPerRow;
        if (!readAt(offset, out, available)) {
            std::fill_n(out, available, uint8_t{0xFF});
            break;
        }
        if (invert) {
            for (size_t i = 0; i < available; ++i) out[i] = static_cast<uint8_t>(~out[i]);
        }
        // Rows the file does not hold were never touched and are white
        // already, so a huge page claimed by a tiny file costs no row loop.
        if (available == bytesPerRow) out[bytesPerRow - 1] |= padding;
    }
}

void BmpReader::readPage(size_t index, PageBitmap& page)
{
    page = PageBitmap{};
    if (!isOpen() || index != 0) return;
    uint8_t info[kInfoHeaderSize];
    if (!readAt(kFileHeaderSize, info, sizeof info)) return;
    const uint32_t infoSize = le32(info + kInfoSizeField);
    if (infoSize < kInfoHeaderSize || le16(info + kBitsPerPixelField) != 1) return;
    const auto width = static_cast<int32_t>(le32(info + kWidthField));
    const auto height = static_cast<int32_t>(le32(info + kHeightField));
    const int64_t rows = std::abs(int64_t{height});
    if (!pageGeometryFits(width, rows)) return;

    page.width = width;
    page.rows = static_cast<int32_t>(rows);
    page.bytesPerRow = static_cast<int32_t>((int64_t{width} + 7) / 8);
    page.planes = static_cast<int16_t>(std::min<uint16_t>(le16(info + kPlanesField), INT16_MAX));
    page.bitsPerPixel = 1;
    page.fillOrder = 1;
    page.coding = CodingUncompressed;
    page.photometric = 1;
    // Pixels per metre / 100 are dots per centimetre.
    const HeaderResolution resolution =
        resolutionFromHeader(static_cast<int32_t>(le32(info + kXPixelsPerMetreField)) / 100,
                             static_cast<int32_t>(le32(info + kYPixelsPerMetreField)) / 100);
    page.xResolution = resolution.x;
    page.yResolution = resolution.y;
    page.resolutionUnit = resolution.stated ? 3 : 2;

    const uint64_t stride = (uint64_t(width) + 31) / 32 * 4;
    const uint64_t pixelOffset = le32(fileHeader_.data() + kPixelOffsetField);
    const uint64_t stored = static_cast<uint64_t>(fileSize()) > pixelOffset ? fileSize() - pixelOffset : 0;
    page.codedLength = static_cast<uint32_t>(std::min<uint64_t>({stored, stride * uint64_t(rows), UINT32_MAX}));
    try {
        // White to start with: rows the file does not hold stay white.
        page.pixels.assign(size_t(rows) * size_t(page.bytesPerRow), uint8_t{0xFF});
    } catch (const std::bad_alloc&) {
        page = PageBitmap{};
        return;
    }
    const bool invert = tableListsLighterFirst(infoSize, le32(info + kColoursUsedField));
    readRows(stride, height > 0, invert, page);
}

}  // namespace pagelift
