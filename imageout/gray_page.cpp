#include "imageout/gray_page.h"

#include "raster/page_size.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace pagelift {
namespace {

// For each page byte, the eight samples it expands to, leftmost (most
// significant bit) first: a table look-up a byte instead of a test a bit.
using SampleRun = std::array<uint8_t, 8>;

constexpr std::array<SampleRun, 256> makeExpansionTable()
{
    std::array<SampleRun, 256> table{};
    for (unsigned value = 0; value < 256; ++value) {
        for (unsigned column = 0; column < 8; ++column) {
            table[value][column] = ((value >> (7 - column)) & 1u) != 0 ? 255 : 0;
        }
    }
    return table;
}

constexpr std::array<SampleRun, 256> kExpansionTable = makeExpansionTable();

}  // namespace

GrayPage::GrayPage(const PageBitmap& page)
{
    if (page.rows < 0 || page.bytesPerRow < 0) return;
    const int64_t sourceBytes = int64_t{page.rows} * page.bytesPerRow;
    if (page.pixels.size() < static_cast<uint64_t>(sourceBytes)) return;  // it claims more rows than it holds
    pixels_ = page.pixels.data();
    factor_ = rowFactor(page);
    bytesPerRow_ = page.bytesPerRow;
    width_ = bytesPerRow_ * 8;
    height_ = int64_t{page.rows} * factor_;
    visibleWidth_ = std::clamp<int64_t>(page.width, 0, width_);
    wholeBytes_ = visibleWidth_ / 8;
    for (int64_t index = wholeBytes_; index < bytesPerRow_; ++index) {
        // Bits past the page's width are whatever the decoder left there;
        // they are no part of the page and must not show as black.
        const int64_t visible = std::clamp<int64_t>(visibleWidth_ - index * 8, 0, 8);
        padding_.push_back(uint8_t(0xFFu >> visible));
    }
    const int64_t int32Max = std::numeric_limits<int32_t>::max();
    valid_ = width_ <= int32Max && height_ <= int32Max;
}

void GrayPage::expandRow(int64_t row, uint8_t* out) const
{
    const uint8_t* bits = bitsOfRow(row);
    for (int64_t index = 0; index < bytesPerRow_; ++index) {
        std::memcpy(out + index * 8, kExpansionTable[whitened(bits, index)].data(), 8);
    }
}

}  // namespace pagelift
