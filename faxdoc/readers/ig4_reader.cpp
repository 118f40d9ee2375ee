#include "faxdoc/readers/ig4_reader.h"

#include "ccitt/coded_page.h"
#include "ccitt/row_transforms.h"
#include "faxdoc/header_resolution.h"
#include "platform/little_endian.h"

#include <algorithm>
#include <iterator>

namespace pagelift {
namespace {

constexpr uint8_t kSignature[] = {0x1A, 0x1A, 0x55, 0x64, 0x73};
constexpr size_t kDescriptionField = 40;  // in the trailer
constexpr size_t kDirectoryField = 56;    // in the trailer
constexpr size_t kRowsPerStripField = 4;  // in the description
constexpr size_t kWidthField = 6;         // in the description
constexpr size_t kStripOffsetsField = 8;  // in the directory
constexpr int64_t kResolution = 300;

}  // namespace

int Ig4Reader::checkHeader()
{
    if (!isOpen()) return -1;
    const auto fail = [this](int code) {
        closeFile();
        return code;
    };
    const uint64_t size = static_cast<uint64_t>(fileSize());
    uint8_t trailer[kTrailerSize];
    if (size < kTrailerSize || !readAt(size - kTrailerSize, trailer, sizeof trailer)) return fail(-2);
    if (!std::equal(std::begin(kSignature), std::end(kSignature), trailer)) return fail(-3);
    descriptionOffset_ = le32(trailer + kDescriptionField);
    if (!readAt(descriptionOffset_, description_.data(), description_.size())) return fail(-4);
    uint8_t directory[kDirectorySize];
    if (!readAt(le32(trailer + kDirectoryField), directory, sizeof directory)) return fail(-5);
    // The directory has room for 66 offsets; a larger count is not believed.
    stripCount_ = std::min<size_t>(le16(directory), kMaxStrips);
    for (size_t i = 0; i < stripCount_; ++i) stripOffsets_[i] = le32(directory + kStripOffsetsField + 4 * i);
    return 0;
}

uint64_t Ig4Reader::stripEnd(size_t index) const
{
    const uint64_t next = index + 1 < stripCount_ ? stripOffsets_[index + 1] : 0;
    return next > stripOffsets_[index] ? std::min(next, descriptionOffset_) : descriptionOffset_;
}

bool Ig4Reader::appendStrip(size_t index, int32_t rowLimit, PageBitmap& page)
{
    const uint64_t start = stripOffsets_[index];
    if (start == 0 || start >= descriptionOffset_) return false;
    if (!loadCodedDataWithin(start, stripEnd(index) - start)) return false;

    CodedPageLayout layout;
    layout.bitOrder = 2;
    layout.coding = FaxMmr;
    layout.polarity = 0;
    layout.width = le16(description_.data() + kWidthField);
    layout.height = rowLimit;
    PageBitmap strip;
    decodeCodedPage(codedData().data(), static_cast<int32_t>(codedData().size()), layout, strip);
    if (index == 0) {
        page.copyHeaderFrom(strip);
        page.rows = 0;
    }
    if (strip.bytesPerRow != page.bytesPerRow || strip.width <= 0) return false;
    const size_t bytes = size_t(std::max(strip.rows, 0)) * size_t(strip.bytesPerRow);
    if (strip.pixels.size() < bytes) return false;
    page.pixels.insert(page.pixels.end(), strip.pixels.begin(), strip.pixels.begin() + std::ptrdiff_t(bytes));
    page.rows += strip.rows;
    return true;
}

void Ig4Reader::readPage(size_t index, PageBitmap& page)
{
    page = PageBitmap{};
    if (!isOpen() || index != 0) return;
    const int64_t rowsPerStrip = le16(description_.data() + kRowsPerStripField);
    const int64_t totalRows = int64_t(stripCount_) * rowsPerStrip;
    if (!pageGeometryFits(le16(description_.data() + kWidthField), totalRows)) return;

    for (size_t strip = 0; strip < stripCount_ && page.rows < totalRows; ++strip) {
        const int32_t rowLimit = static_cast<int32_t>(std::min<int64_t>(rowsPerStrip, totalRows - page.rows));
        if (!appendStrip(strip, rowLimit, page)) break;
    }
    if (!page.hasPage()) {
        page = PageBitmap{};
        return;
    }
    setResolutionFromHeader(page, kResolution, kResolution);
    if (description_[0] == 'M' && description_[1] == 'M') mirrorRows(page);
}

}  // namespace pagelift
