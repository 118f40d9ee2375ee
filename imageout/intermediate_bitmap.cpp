#include "imageout/intermediate_bitmap.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace pagelift {
namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kPaletteEntries = 256;
constexpr uint32_t kPixelDataOffset = kFileHeaderSize + kInfoHeaderSize + kPaletteEntries * 4;  // 1078

constexpr uint8_t kWhite = 255;
constexpr uint8_t kBlack = 0;

// For each source byte, the eight output pixels it expands to, leftmost
// (most significant bit) first. Expanding through this table instead of bit
// by bit keeps the writer well below the cost of the JPEG compression.
using PixelPattern = std::array<uint8_t, 8>;

constexpr std::array<PixelPattern, 256> makeExpansionTable()
{
    std::array<PixelPattern, 256> table{};
    for (unsigned value = 0; value < 256; ++value) {
        for (unsigned column = 0; column < 8; ++column) {
            const bool white = ((value >> (7 - column)) & 1u) != 0;
            table[value][column] = white ? kWhite : kBlack;
        }
    }
    return table;
}

constexpr std::array<PixelPattern, 256> kExpansionTable = makeExpansionTable();

// The output geometry of one page, or valid == false when it must be refused.
struct BitmapGeometry {
    bool valid = false;
    int64_t width = 0;   // pixels = bytes per output row
    int64_t height = 0;  // output rows
    int64_t visibleWidth = 0;  // columns that carry page pixels; the rest is white
    int factor = 1;
};

BitmapGeometry geometryFor(const PageBitmap& page)
{
    BitmapGeometry geometry;
    if (page.rows < 0 || page.bytesPerRow < 0) {
        return geometry;
    }
    const int64_t sourceBytes = int64_t{page.rows} * page.bytesPerRow;
    if (page.pixels.size() < static_cast<uint64_t>(sourceBytes)) {
        return geometry;  // the page claims more rows than it holds
    }
    geometry.factor = rowFactor(page);
    geometry.width = int64_t{page.bytesPerRow} * 8;
    geometry.height = int64_t{page.rows} * geometry.factor;
    geometry.visibleWidth = std::clamp<int64_t>(page.width, 0, geometry.width);
    const int64_t int32Max = std::numeric_limits<int32_t>::max();
    if (geometry.width > int32Max || geometry.height > int32Max) {
        return geometry;  // the header fields could not hold them
    }
    if (geometry.width * geometry.height > kMaxIntermediatePixelBytes) {
        return geometry;
    }
    geometry.valid = true;
    return geometry;
}

void putLe16(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value & 0xFFu);
    at[1] = static_cast<uint8_t>((value >> 8) & 0xFFu);
}

void putLe32(uint8_t* at, uint32_t value)
{
    putLe16(at, value & 0xFFFFu);
    putLe16(at + 2, value >> 16);
}

// File header, info header and gray-ramp palette: everything before the pixels.
std::array<uint8_t, kPixelDataOffset> buildHeaders(const BitmapGeometry& geometry)
{
    std::array<uint8_t, kPixelDataOffset> bytes{};
    const auto pixelBytes = static_cast<uint32_t>(geometry.width * geometry.height);
    uint8_t* file = bytes.data();
    file[0] = 'B';
    file[1] = 'M';
    putLe32(file + 2, kPixelDataOffset + pixelBytes);
    putLe32(file + 10, kPixelDataOffset);

    uint8_t* info = file + kFileHeaderSize;
    putLe32(info + 0, kInfoHeaderSize);
    putLe32(info + 4, static_cast<uint32_t>(geometry.width));
    putLe32(info + 8, static_cast<uint32_t>(geometry.height));  // positive: bottom row first
    putLe16(info + 12, 1);                                       // planes
    putLe16(info + 14, 8);                                       // bits per pixel
    // compression, image size and both resolutions stay 0: no resolution is
    // stated, so the JPEG keeps its default density.
    putLe32(info + 32, kPaletteEntries);                         // colours used

    uint8_t* palette = info + kInfoHeaderSize;
    for (uint32_t entry = 0; entry < kPaletteEntries; ++entry) {
        const auto level = static_cast<uint8_t>(entry);
        palette[entry * 4 + 0] = level;  // blue
        palette[entry * 4 + 1] = level;  // green
        palette[entry * 4 + 2] = level;  // red
        palette[entry * 4 + 3] = 0;
    }
    return bytes;
}

// Expands source row `row` into its output group: geometry.factor copies of
// the 8-bit row, one after the other.
void expandRow(const PageBitmap& page, const BitmapGeometry& geometry, size_t row, uint8_t* out)
{
    const auto width = static_cast<size_t>(geometry.width);
    const auto visible = static_cast<size_t>(geometry.visibleWidth);
    const auto bytesPerRow = static_cast<size_t>(page.bytesPerRow);
    const uint8_t* source = page.pixels.data() + row * bytesPerRow;
    for (size_t byte = 0; byte < bytesPerRow; ++byte) {
        std::memcpy(out + byte * 8, kExpansionTable[source[byte]].data(), 8);
    }
    // Bits past the page's width are whatever the decoder left there; they
    // are not part of the page, so they must not show as black.
    std::memset(out + visible, kWhite, width - visible);
    for (int copy = 1; copy < geometry.factor; ++copy) {
        std::memcpy(out + static_cast<size_t>(copy) * width, out, width);
    }
}

// The pixels go out in bands of about this many bytes: a page never needs
// its whole 8-bit image in memory, and a reused band costs no page faults.
constexpr size_t kBandBytes = size_t{1} << 18;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

int writeIntermediateBitmap(const PageBitmap& page, const std::string& path)
{
    const BitmapGeometry geometry = geometryFor(page);
    if (!geometry.valid) {
        return BitmapNoPixelMemory;
    }
    const auto rows = static_cast<size_t>(page.rows);
    const size_t groupBytes = static_cast<size_t>(geometry.width) * static_cast<size_t>(geometry.factor);
    const size_t groupsPerBand =
        rows == 0 ? 0 : std::min(rows, std::max<size_t>(1, kBandBytes / std::max<size_t>(groupBytes, 1)));
    std::unique_ptr<uint8_t[]> band;
    if (groupsPerBand > 0 && groupBytes > 0) {
        band.reset(new (std::nothrow) uint8_t[groupsPerBand * groupBytes]);
        if (!band) {
            return BitmapNoPixelMemory;
        }
    }
    const auto headers = buildHeaders(geometry);

    // The file of the page before is written over rather than emptied first:
    // its blocks and cached pages are used again, which spares the file
    // system freeing and allocating megabytes for every page. The length is
    // set once the pixels are written.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    std::unique_ptr<std::FILE, FileCloser> file(fd >= 0 ? ::fdopen(fd, "wb") : nullptr);
    if (!file) {
        if (fd >= 0) ::close(fd);
        return BitmapCannotCreate;
    }
    // The bands are large already: they go to the file as they are, not
    // through another buffer.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    bool complete = std::fwrite(headers.data(), 1, headers.size(), file.get()) == headers.size();
    // Bottom row first: the last source row opens the pixel data.
    for (size_t written = 0; complete && band && written < rows;) {
        const size_t groups = std::min(groupsPerBand, rows - written);
        for (size_t i = 0; i < groups; ++i) {
            expandRow(page, geometry, rows - 1 - (written + i), band.get() + i * groupBytes);
        }
        complete = std::fwrite(band.get(), 1, groups * groupBytes, file.get()) == groups * groupBytes;
        written += groups;
    }
    // A short file would only fail later, in the JPEG step, with a less
    // telling message: a full disk is reported here.
    const auto length = off_t(kPixelDataOffset) + off_t(geometry.width * geometry.height);
    complete = complete && std::fflush(file.get()) == 0 && ::ftruncate(::fileno(file.get()), length) == 0;
    const bool closed = std::fclose(file.release()) == 0;
    return complete && closed ? BitmapWritten : BitmapCannotCreate;
}

}  // namespace pagelift
