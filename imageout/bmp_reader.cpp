#include "imageout/bmp_reader.h"

#include "platform/little_endian.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace pagelift {
namespace {

constexpr uint64_t kFileHeaderSize = 14;
constexpr uint32_t kOs2HeaderSize = 12;
constexpr uint32_t kWindowsHeaderSize = 40;
constexpr uint32_t kWindowsV2HeaderSize = 64;
constexpr uint32_t kLargestHeaderSize = 64;

// Rows are read from the file in strips of about this many bytes: the image
// is stored bottom row first but handed out top row first, and reading it in
// strips from the end keeps memory small whatever the image size.
constexpr uint64_t kStripBytes = uint64_t{1} << 18;

// Indexed by code - kFirstBmpMessageCode; the trailing null ends the table
// for the JPEG library.
constexpr const char* kMessages[] = {
    "Empty input file",
    "ungetc failed",
    "Unrecognized input file format --- perhaps you need -targa",
    "Not a BMP file - does not start with BM",
    "Invalid BMP file: bad header length",
    "Only 8- and 24-bit BMP files are supported",
    "Invalid BMP file: biPlanes not equal to 1",
    "Sorry, compressed BMPs not yet supported",
    "Unsupported BMP colormap format",
    "Premature end of input file",
    "Invalid BMP file: bad image dimensions",
    "Numeric value out of range in BMP file",
    "Insufficient memory for the bitmap rows",
    nullptr,
};
static_assert(std::size(kMessages) == kLastBmpMessageCode - kFirstBmpMessageCode + 2);

int32_t le32Signed(const uint8_t* at)
{
    return static_cast<int32_t>(le32(at));
}

bool readExactly(std::FILE* file, uint8_t* into, size_t count)
{
    return std::fread(into, 1, count, file) == count;
}

// The file's length, leaving the position at its start; -1 when the file
// cannot be positioned.
int64_t measureFile(std::FILE* file)
{
    if (fseeko(file, 0, SEEK_END) != 0) {
        return -1;
    }
    const off_t size = ftello(file);
    if (size < 0 || fseeko(file, 0, SEEK_SET) != 0) {
        return -1;
    }
    return static_cast<int64_t>(size);
}

}  // namespace

const char* bmpStatusText(BmpStatus status)
{
    const int code = static_cast<int>(status);
    if (code < kFirstBmpMessageCode || code > kLastBmpMessageCode) {
        return "";
    }
    return kMessages[code - kFirstBmpMessageCode];
}

const char* const* bmpMessageTable()
{
    return kMessages;
}

BmpStatus BmpRowReader::start()
{
    const int64_t size = measureFile(file_);
    if (size < 0) {
        return BmpStatus::PrematureEnd;
    }
    fileSize_ = static_cast<uint64_t>(size);

    uint8_t fileHeader[kFileHeaderSize];
    if (!readExactly(file_, fileHeader, sizeof fileHeader)) {
        return BmpStatus::PrematureEnd;
    }
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M') {
        return BmpStatus::NotBmp;
    }
    const uint32_t pixelOffset = le32(fileHeader + 10);

    uint8_t sizeField[4];
    if (!readExactly(file_, sizeField, sizeof sizeField)) {
        return BmpStatus::PrematureEnd;
    }
    const uint32_t headerSize = le32(sizeField);
    if (headerSize < kOs2HeaderSize || headerSize > kLargestHeaderSize) {
        return BmpStatus::BadHeaderLength;
    }
    uint32_t entrySize = 0;
    if (const BmpStatus status = readInfoHeader(headerSize, entrySize); status != BmpStatus::Ok) {
        return status;
    }
    if (info_.bitsPerPixel == 8) {
        if (const BmpStatus status = readColorMap(entrySize); status != BmpStatus::Ok) {
            return status;
        }
    } else {
        info_.colorCount = 0;  // 24-bit pixels carry their colours; no map follows
    }

    const uint64_t headersEnd =
        kFileHeaderSize + headerSize + uint64_t{static_cast<uint32_t>(info_.colorCount)} * entrySize;
    if (pixelOffset < headersEnd) {
        return BmpStatus::BadHeaderLength;
    }
    info_.pixelOffset = pixelOffset;
    const uint64_t bytesPerPixel = info_.bitsPerPixel == 8 ? 1 : 3;
    info_.rowStride = (static_cast<uint64_t>(info_.width) * bytesPerPixel + 3) & ~uint64_t{3};
    // Both factors are below 2^33, so the product cannot overflow.
    const uint64_t pixelBytes = info_.rowStride * static_cast<uint64_t>(info_.height);
    if (info_.pixelOffset > fileSize_ || pixelBytes > fileSize_ - info_.pixelOffset) {
        return BmpStatus::PrematureEnd;
    }
    return BmpStatus::Ok;
}

BmpStatus BmpRowReader::readInfoHeader(uint32_t headerSize, uint32_t& entrySize)
{
    // Offsets below count from the start of the info header, size field included.
    uint8_t header[kLargestHeaderSize] = {};
    if (!readExactly(file_, header + 4, headerSize - 4)) {
        return BmpStatus::PrematureEnd;
    }
    int planes = 0;
    if (headerSize == kOs2HeaderSize) {
        info_.width = le16(header + 4);
        info_.height = le16(header + 6);
        planes = le16(header + 8);
        info_.bitsPerPixel = le16(header + 10);
        entrySize = 3;
    } else if (headerSize == kWindowsHeaderSize || headerSize == kWindowsV2HeaderSize) {
        info_.width = le32Signed(header + 4);
        info_.height = le32Signed(header + 8);
        planes = le16(header + 12);
        info_.bitsPerPixel = le16(header + 14);
        entrySize = 4;
    } else {
        return BmpStatus::BadHeaderLength;
    }
    if (info_.bitsPerPixel != 8 && info_.bitsPerPixel != 24) {
        return BmpStatus::BadBitDepth;
    }
    if (planes != 1) {
        return BmpStatus::BadPlanes;
    }
    if (headerSize != kOs2HeaderSize) {
        if (le32(header + 16) != 0) {
            return BmpStatus::Compressed;
        }
        const int32_t xPixelsPerMetre = le32Signed(header + 24);
        const int32_t yPixelsPerMetre = le32Signed(header + 28);
        if (xPixelsPerMetre > 0 && yPixelsPerMetre > 0) {
            // Kept to 16 bits as the JFIF field is; cjpeg truncates the same way.
            info_.statesDensity = true;
            info_.xDensity = static_cast<uint16_t>(xPixelsPerMetre / 100);
            info_.yDensity = static_cast<uint16_t>(yPixelsPerMetre / 100);
        }
        info_.colorCount = le32Signed(header + 32);
    }
    // Top-down (negative height) bitmaps are not something this program ever
    // writes; a negative size is refused rather than misread.
    if (info_.width < 0 || info_.height < 0) {
        return BmpStatus::BadDimensions;
    }
    return BmpStatus::Ok;
}

BmpStatus BmpRowReader::readColorMap(uint32_t entrySize)
{
    if (info_.colorCount <= 0) {
        info_.colorCount = 256;
    }
    if (info_.colorCount > 256) {
        return BmpStatus::BadColorMap;
    }
    info_.grayColorMap = true;
    identityGrayMap_ = info_.colorCount == 256;
    for (int entry = 0; entry < info_.colorCount; ++entry) {
        uint8_t bytes[4];
        if (!readExactly(file_, bytes, entrySize)) {
            return BmpStatus::PrematureEnd;
        }
        auto& color = colorMap_[static_cast<size_t>(entry)];
        color = {bytes[2], bytes[1], bytes[0]};
        info_.grayColorMap = info_.grayColorMap && color[0] == color[1] && color[1] == color[2];
        identityGrayMap_ = identityGrayMap_ && color[0] == entry && info_.grayColorMap;
    }
    return BmpStatus::Ok;
}

BmpStatus BmpRowReader::fillStrip()
{
    const int32_t fileRow = info_.height - 1 - nextImageRow_;
    const auto capacity = static_cast<int32_t>(
        std::clamp<uint64_t>(kStripBytes / std::max<uint64_t>(info_.rowStride, 1), 1, static_cast<uint64_t>(info_.height)));
    stripFirstRow_ = std::max(0, fileRow + 1 - capacity);
    stripRows_ = fileRow + 1 - stripFirstRow_;
    const uint64_t bytes = static_cast<uint64_t>(stripRows_) * info_.rowStride;
    try {
        strip_.resize(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
        stripRows_ = 0;
        return BmpStatus::OutOfMemory;
    }
    const uint64_t position = info_.pixelOffset + static_cast<uint64_t>(stripFirstRow_) * info_.rowStride;
    if (fseeko(file_, static_cast<off_t>(position), SEEK_SET) != 0 ||
        !readExactly(file_, strip_.data(), static_cast<size_t>(bytes))) {
        stripRows_ = 0;
        return BmpStatus::PrematureEnd;
    }
    return BmpStatus::Ok;
}

bool BmpRowReader::nextGrayRowsInPlace(int32_t count, const uint8_t*& first, ptrdiff_t& step)
{
    if (!identityGrayMap_ || info_.bitsPerPixel != 8 || count < 1 || nextImageRow_ > info_.height - count) return false;
    const int32_t topFileRow = info_.height - 1 - nextImageRow_;
    const int32_t bottomFileRow = topFileRow - (count - 1);
    const auto holds = [&] {
        return stripRows_ > 0 && bottomFileRow >= stripFirstRow_ && topFileRow < stripFirstRow_ + stripRows_;
    };
    if (!holds() && (fillStrip() != BmpStatus::Ok || !holds())) return false;
    const auto stride = static_cast<ptrdiff_t>(info_.rowStride);
    first = strip_.data() + static_cast<ptrdiff_t>(topFileRow - stripFirstRow_) * stride;
    step = -stride;
    nextImageRow_ += count;
    return true;
}

BmpStatus BmpRowReader::readNextRow(uint8_t* out, bool gray)
{
    if (nextImageRow_ >= info_.height) {
        return BmpStatus::BadDimensions;
    }
    if (gray && info_.bitsPerPixel != 8) {
        return BmpStatus::BadBitDepth;
    }
    const int32_t fileRow = info_.height - 1 - nextImageRow_;
    if (stripRows_ == 0 || fileRow < stripFirstRow_ || fileRow >= stripFirstRow_ + stripRows_) {
        if (const BmpStatus status = fillStrip(); status != BmpStatus::Ok) {
            return status;
        }
    }
    const uint8_t* row =
        strip_.data() + static_cast<size_t>(fileRow - stripFirstRow_) * static_cast<size_t>(info_.rowStride);
    const auto width = static_cast<size_t>(info_.width);

    if (info_.bitsPerPixel == 24) {
        for (size_t x = 0; x < width; ++x) {
            out[x * 3 + 0] = row[x * 3 + 2];
            out[x * 3 + 1] = row[x * 3 + 1];
            out[x * 3 + 2] = row[x * 3 + 0];
        }
    } else if (gray && identityGrayMap_) {
        std::memcpy(out, row, width);  // the intermediate bitmaps of this program
    } else {
        const auto colorCount = static_cast<unsigned>(info_.colorCount);
        for (size_t x = 0; x < width; ++x) {
            const unsigned index = row[x];
            if (index >= colorCount) {
                return BmpStatus::IndexOutOfRange;
            }
            const auto& color = colorMap_[index];
            if (gray) {
                out[x] = color[0];
            } else {
                out[x * 3 + 0] = color[0];
                out[x * 3 + 1] = color[1];
                out[x * 3 + 2] = color[2];
            }
        }
    }
    ++nextImageRow_;
    return BmpStatus::Ok;
}

}  // namespace pagelift
