#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace pagelift {

// Why a bitmap could not be read. Each failure has a message (bmpStatusText);
// the codes continue the JPEG library's numbering of add-on messages so that
// its error manager can format them.
enum class BmpStatus : int {
    Ok = 0,
    EmptyInput = 1000,
    UngetcFailed,
    UnrecognizedFormat,
    NotBmp,
    BadHeaderLength,
    BadBitDepth,
    BadPlanes,
    Compressed,
    BadColorMap,
    PrematureEnd,
    BadDimensions,
    IndexOutOfRange,
    OutOfMemory,
};

inline constexpr int kFirstBmpMessageCode = static_cast<int>(BmpStatus::EmptyInput);
inline constexpr int kLastBmpMessageCode = static_cast<int>(BmpStatus::OutOfMemory);

// The message for a failure, without a line end; "" for Ok.
const char* bmpStatusText(BmpStatus status);

// The JPEG library's add-on message table for the codes above: entry i is the
// text of code kFirstBmpMessageCode + i, followed by a null entry.
const char* const* bmpMessageTable();

// What the headers of a bitmap say, once they have been checked.
struct BmpImageInfo {
    int32_t width = 0;
    int32_t height = 0;
    int bitsPerPixel = 0;   // 8 or 24
    uint64_t rowStride = 0;  // bytes per row in the file, a multiple of 4
    uint64_t pixelOffset = 0;
    bool statesDensity = false;  // both pixels-per-metre fields positive
    uint16_t xDensity = 0;       // dots per centimetre when statesDensity
    uint16_t yDensity = 0;
    int colorCount = 0;          // colour-map entries (8-bit images)
    bool grayColorMap = false;   // every entry has red = green = blue
};

// Reads an uncompressed 8- or 24-bit BMP (Windows 40/64-byte or OS/2
// 12-byte info header) from an open file, and hands out its rows from the top
// of the image down. Every header field is checked against the file's real
// size before anything is allocated, so no input can make it allocate more
// than a strip of rows or touch memory outside its buffers.
class BmpRowReader {
public:
    // The file stays owned by the caller and must stay open while rows are read.
    explicit BmpRowReader(std::FILE* file) : file_(file) {}

    // Reads and checks the headers and colour map, starting at the file's
    // beginning. Returns Ok or the first failure found.
    BmpStatus start();

    const BmpImageInfo& info() const { return info_; }

    // Writes the next row, top row first: width gray bytes (from the colour
    // map's red entry; meant for gray colour maps) when gray is true, otherwise
    // width x 3 bytes of red, green, blue. Returns PrematureEnd when the file
    // no longer holds the row, IndexOutOfRange for a pixel beyond the colour
    // map, OutOfMemory when the row strip cannot be allocated, BadBitDepth for
    // gray rows of a 24-bit image, BadDimensions when every row was already
    // handed out.
    BmpStatus readNextRow(uint8_t* out, bool gray);

    // The next `count` rows without copying them, when the image is 8-bit
    // with the identity gray map (this program's intermediate bitmaps) and
    // the rows can be read at once: `first` points at the top one, and each
    // next row lies `step` bytes on (negative: the file keeps them bottom
    // up); they stay valid until the next read. False, with no row taken,
    // when not (the caller reads them with readNextRow), or when the file
    // does not hold them (readNextRow then tells why).
    bool nextGrayRowsInPlace(int32_t count, const uint8_t*& first, ptrdiff_t& step);

private:
    BmpStatus readInfoHeader(uint32_t headerSize, uint32_t& entrySize);
    BmpStatus readColorMap(uint32_t entrySize);
    BmpStatus fillStrip();

    std::FILE* file_;
    uint64_t fileSize_ = 0;
    BmpImageInfo info_;
    std::array<std::array<uint8_t, 3>, 256> colorMap_{};  // red, green, blue
    bool identityGrayMap_ = false;  // 256 entries, entry i = (i, i, i): rows copy as they are
    std::vector<uint8_t> strip_;  // consecutive file rows, bottom-most first
    int32_t stripFirstRow_ = 0;   // file row (0 = bottom) of strip_'s first row
    int32_t stripRows_ = 0;
    int32_t nextImageRow_ = 0;    // rows already handed out, from the top
};

}  // namespace pagelift
