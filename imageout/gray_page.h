#pragma once

// The image a decoded page comes out as: its padded width (bytesPerRow x 8
// columns, those past the page's width white) by its rows, each row repeated
// rowFactor times so that standard-resolution pages get square pixels. The
// encoders read it from the one-bit page in memory, as whole bytes (1 =
// white, most significant bit leftmost) or as 8-bit samples (0 black, 255
// white); nothing of it is built beforehand.

#include "raster/page_bitmap.h"

#include <cstdint>
#include <vector>

namespace pagelift {

class GrayPage {
public:
    explicit GrayPage(const PageBitmap& page);

    // False for a page whose pixel buffer is shorter than its rows, whose
    // size fields are negative, or whose image would not fit in 32 bits a
    // side: nothing of it may then be read.
    bool valid() const { return valid_; }
    int64_t width() const { return width_; }
    int64_t height() const { return height_; }
    int factor() const { return factor_; }
    int64_t bytesPerRow() const { return bytesPerRow_; }
    // The columns that carry the page's pixels; those after them are white.
    int64_t visibleWidth() const { return visibleWidth_; }

    // The page bytes of output row `row` (0 <= row < height()), padding bits
    // not yet whitened: see whitenPadding.
    const uint8_t* bitsOfRow(int64_t row) const
    {
        return pixels_ + (row / factor_) * bytesPerRow_;
    }
    // Byte `index` of a row's bits with the pixels past the page's width
    // made white.
    uint8_t whitened(const uint8_t* bits, int64_t index) const
    {
        return index < wholeBytes_ ? bits[index] : uint8_t(bits[index] | padding_[size_t(index - wholeBytes_)]);
    }

    // Output row `row` as width() 8-bit samples.
    void expandRow(int64_t row, uint8_t* out) const;

private:
    const uint8_t* pixels_ = nullptr;
    int64_t width_ = 0;
    int64_t height_ = 0;
    int64_t bytesPerRow_ = 0;
    int64_t visibleWidth_ = 0;
    int64_t wholeBytes_ = 0;        // bytes of a row that hold page pixels only
    std::vector<uint8_t> padding_;  // for the bytes after them: the bits to make white
    int factor_ = 1;
    bool valid_ = false;
};

}  // namespace pagelift
