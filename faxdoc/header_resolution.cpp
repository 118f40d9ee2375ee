#include "faxdoc/header_resolution.h"

#include <algorithm>

namespace pagelift {

HeaderResolution resolutionFromHeader(int64_t horizontal, int64_t vertical)
{
    constexpr int64_t kLargest = INT16_MAX;
    const int64_t x = std::clamp<int64_t>(horizontal, 0, kLargest);
    const int64_t y = std::clamp<int64_t>(vertical, 0, kLargest);
    HeaderResolution resolution;
    if (x == 0 && y == 0) return resolution;
    resolution.stated = true;
    resolution.x = static_cast<uint16_t>(x > 0 ? x : y);
    resolution.y = static_cast<int16_t>(y > 0 ? y : x);
    return resolution;
}

void setResolutionFromHeader(PageBitmap& page, int64_t horizontal, int64_t vertical)
{
    const HeaderResolution resolution = resolutionFromHeader(horizontal, vertical);
    page.resolutionUnit = 2;
    page.xResolution = resolution.x;
    page.yResolution = resolution.y;
}

}  // namespace pagelift
