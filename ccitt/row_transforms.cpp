#include "ccitt/row_transforms.h"

#include "ccitt/bit_reversal.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace pagelift {
namespace {

// The byte count the page claims, or 0 when the header and the buffer do not
// agree on at least that many bytes (so nothing outside the buffer is touched).
size_t usablePixelBytes(const PageBitmap& page)
{
    if (page.rows <= 0 || page.bytesPerRow <= 0) return 0;
    const size_t claimed = static_cast<size_t>(page.rows) * static_cast<size_t>(page.bytesPerRow);
    if (page.pixels.size() < claimed) return 0;
    return claimed;
}

}  // namespace

int flipRows(PageBitmap& page)
{
    const size_t total = usablePixelBytes(page);
    if (total == 0) return -1;
    const size_t rowBytes = static_cast<size_t>(page.bytesPerRow);
    std::vector<uint8_t> flipped;
    try {
        flipped.resize(page.pixels.size());
    } catch (const std::bad_alloc&) {
        return -2;
    }
    const size_t rows = static_cast<size_t>(page.rows);
    for (size_t row = 0; row < rows; ++row) {
        std::memcpy(flipped.data() + row * rowBytes, page.pixels.data() + (rows - 1 - row) * rowBytes,
                    rowBytes);
    }
    // Bytes past rows x bytesPerRow (none in a well-formed page) keep their place.
    std::copy(page.pixels.begin() + static_cast<std::ptrdiff_t>(total), page.pixels.end(),
              flipped.begin() + static_cast<std::ptrdiff_t>(total));
    page.pixels.swap(flipped);
    return 0;
}

int mirrorRows(PageBitmap& page)
{
    if (usablePixelBytes(page) == 0) return -1;
    const size_t rowBytes = static_cast<size_t>(page.bytesPerRow);
    for (int32_t row = 0; row < page.rows; ++row) {
        uint8_t* bytes = page.pixels.data() + static_cast<size_t>(row) * rowBytes;
        size_t left = 0;
        size_t right = rowBytes - 1;
        while (left < right) {
            const uint8_t leftByte = bytes[left];
            bytes[left] = kBitReversal[bytes[right]];
            bytes[right] = kBitReversal[leftByte];
            ++left;
            --right;
        }
        if (left == right) bytes[left] = kBitReversal[bytes[left]];
    }
    return 0;
}

}  // namespace pagelift
