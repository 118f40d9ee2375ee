#include "raster/page_size.h"

#include <algorithm>

namespace pagelift {

int rowFactor(const PageBitmap& page)
{
    const unsigned horizontal = page.xResolution;
    const unsigned vertical = static_cast<uint16_t>(page.yResolution);
    if (vertical == 0) {
        return 1;
    }
    // Real fax resolutions differ by a factor of 4 at most; a larger ratio
    // comes from a damaged header and must not blow the page up.
    return static_cast<int>(std::clamp(horizontal / vertical, 1u, unsigned{kMaxRowFactor}));
}

OutputSize outputSizeOf(const PageBitmap& page)
{
    OutputSize size;
    size.width = int64_t{std::max(page.bytesPerRow, 0)} * 8;
    size.height = int64_t{std::max(page.rows, 0)} * rowFactor(page);
    return size;
}

bool fitsOutputLimits(const PageBitmap& page)
{
    const OutputSize size = outputSizeOf(page);
    // Both sides are below 2^35, so the product cannot overflow.
    return size.width <= kMaxPageSide && size.height <= kMaxPageSide && size.width * size.height <= kMaxPagePixels;
}

std::string pageTooLargeText(const PageBitmap& page)
{
    const OutputSize size = outputSizeOf(page);
    return "page too large: " + std::to_string(std::max(page.width, 0)) + " x " + std::to_string(size.height);
}

}  // namespace pagelift
