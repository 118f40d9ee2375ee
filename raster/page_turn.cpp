#include "raster/page_turn.h"

#include <cstddef>

namespace pagelift {
namespace {

bool isBlack(const PageBitmap& page, int32_t x, int32_t y)
{
    const uint8_t byte = page.pixels[size_t(y) * size_t(page.bytesPerRow) + size_t(x / 8)];
    return (byte & (0x80 >> (x % 8))) == 0;
}

}  // namespace

PageBitmap turnedPage(const PageBitmap& page, int degrees)
{
    const bool quarter = degrees == 90 || degrees == 270;
    if ((!quarter && degrees != 180) || page.width < 1 || page.rows < 1 ||
        page.bytesPerRow < (int64_t{page.width} + 7) / 8 ||
        int64_t(page.pixels.size()) < int64_t{page.rows} * page.bytesPerRow) {
        return page;
    }
    PageBitmap turned;
    turned.copyHeaderFrom(page);
    turned.texts = page.texts;
    turned.width = quarter ? page.rows : page.width;
    turned.rows = quarter ? page.width : page.rows;
    turned.bytesPerRow = (turned.width + 7) / 8;
    if (quarter) {
        turned.xResolution = page.yResolution < 0 ? 0 : uint16_t(page.yResolution);
        turned.yResolution = page.xResolution > 0x7fff ? int16_t(0x7fff) : int16_t(page.xResolution);
    }
    turned.pixels.assign(size_t(turned.bytesPerRow) * size_t(turned.rows), 0xff);
    for (int32_t y = 0; y < page.rows; ++y) {
        for (int32_t x = 0; x < page.width; ++x) {
            if (!isBlack(page, x, y)) continue;
            // Where (x, y) lands after the turn.
            int32_t toX = page.width - 1 - x;
            int32_t toY = page.rows - 1 - y;
            if (degrees == 90) {
                toX = page.rows - 1 - y;
                toY = x;
            } else if (degrees == 270) {
                toX = y;
                toY = page.width - 1 - x;
            }
            turned.pixels[size_t(toY) * size_t(turned.bytesPerRow) + size_t(toX / 8)] &= uint8_t(~(0x80 >> (toX % 8)));
        }
    }
    return turned;
}

}  // namespace pagelift
