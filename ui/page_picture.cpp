#include "ui/page_picture.h"

#include "raster/page_size.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace pagelift {
namespace {

// Whether the page is large enough to hold the pixels it declares.
bool holdsItsPixels(const PageBitmap& page)
{
    if (!page.hasPage() || page.bytesPerRow < (int64_t(page.width) + 7) / 8) return false;
    return page.pixels.size() >= size_t(page.rows) * size_t(page.bytesPerRow);
}

// The page pixels [first, last) that picture pixel `at` of `count` covers
// along a side of `side` page pixels: never empty.
struct Span {
    int64_t first;
    int64_t last;
};
Span spanOf(int at, int count, int64_t side)
{
    const int64_t first = int64_t(at) * side / count;
    const int64_t last = std::max(first + 1, int64_t(at + 1) * side / count);
    return {first, std::min(last, side)};
}

}  // namespace

PageShape trueShapeOf(const PageBitmap& page)
{
    if (!page.hasPage()) return {};
    return {page.width, int(std::min<int64_t>(int64_t(page.rows) * rowFactor(page), INT32_MAX))};
}

int heightAtWidth(const PageShape& shape, int width)
{
    if (shape.width <= 0 || shape.height <= 0) return 0;
    return int(std::clamp<int64_t>(std::llround(double(shape.height) * width / shape.width), 1, INT32_MAX));
}

PagePicture pictureOf(const PageBitmap& page, int width, int height)
{
    PagePicture picture;
    if (!holdsItsPixels(page) || width < 1 || height < 1) return picture;
    picture.width = width;
    picture.height = height;
    picture.gray.assign(size_t(width) * size_t(height), 255);
    const int repeat = rowFactor(page);
    const int64_t tallRows = int64_t(page.rows) * repeat;

    std::vector<Span> columns(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) columns[size_t(x)] = spanOf(x, width, page.width);
    // Black pixels of a page row before each of its bytes, so that any
    // span's count is two lookups and a subtraction.
    std::vector<int32_t> blackBeforeByte(size_t(page.bytesPerRow) + 1);
    const uint8_t* bits = nullptr;
    const auto blackBefore = [&](int64_t x) {
        const int32_t whole = blackBeforeByte[size_t(x >> 3)];
        const int partial = int(x & 7);
        if (partial == 0) return whole;
        const unsigned mask = (0xFFu << (8 - partial)) & 0xFFu;
        return whole + std::popcount(unsigned(~bits[x >> 3]) & mask);
    };
    std::vector<int64_t> black(static_cast<size_t>(width));
    int64_t countedRow = -1;
    for (int y = 0; y < height; ++y) {
        const Span rows = spanOf(y, height, tallRows);
        std::fill(black.begin(), black.end(), 0);
        // Repeated rows are the same page row: counted once, weighed by how
        // many of them the span holds.
        for (int64_t tall = rows.first; tall < rows.last;) {
            const int64_t row = tall / repeat;
            const int64_t rowEnd = std::min(rows.last, (row + 1) * repeat);
            const int64_t weight = rowEnd - tall;
            if (row != countedRow) {
                bits = page.pixels.data() + size_t(row) * size_t(page.bytesPerRow);
                // Bits past the width are never counted: no span reaches them.
                for (int32_t byte = 0; byte < page.bytesPerRow; ++byte) {
                    blackBeforeByte[size_t(byte) + 1] = blackBeforeByte[size_t(byte)] + std::popcount(uint8_t(~bits[byte]));
                }
                countedRow = row;
            }
            // Side by side spans share their edges: each edge is counted once.
            int64_t edge = -1;
            int32_t blackAtEdge = 0;
            for (int x = 0; x < width; ++x) {
                const Span& span = columns[size_t(x)];
                const int32_t first = span.first == edge ? blackAtEdge : blackBefore(span.first);
                edge = span.last;
                blackAtEdge = blackBefore(span.last);
                black[size_t(x)] += weight * (blackAtEdge - first);
            }
            tall = rowEnd;
        }
        uint8_t* out = picture.gray.data() + size_t(y) * size_t(width);
        const int64_t rowsCovered = rows.last - rows.first;
        for (int x = 0; x < width; ++x) {
            const Span& span = columns[size_t(x)];
            const int64_t covered = rowsCovered * (span.last - span.first);
            // Rounded to the nearest level.
            out[x] = uint8_t((255 * (covered - black[size_t(x)]) + covered / 2) / covered);
        }
    }
    return picture;
}

double PreviewZoom::bounded(double scale, const PageShape& shape)
{
    scale = std::clamp(scale, kMinScale, kMaxScale);
    const double pixels = double(shape.width) * double(shape.height);
    if (pixels > 0 && pixels * scale * scale > double(kMaxPicturePixels)) {
        scale = std::sqrt(double(kMaxPicturePixels) / pixels);
    }
    return scale;
}

double PreviewZoom::scaleFor(const PageShape& shape, int viewWidth, int viewHeight) const
{
    if (shape.width <= 0 || shape.height <= 0) return 1.0;
    const double toWidth = double(std::max(viewWidth, 1)) / shape.width;
    switch (fit_) {
    case Fit::Width: return bounded(toWidth, shape);
    case Fit::Page: return bounded(std::min(toWidth, double(std::max(viewHeight, 1)) / shape.height), shape);
    case Fit::Free: break;
    }
    return bounded(scale_, shape);
}

void PreviewZoom::zoomBy(int steps, double shownScale)
{
    fit_ = Fit::Free;
    scale_ = std::clamp(shownScale * std::pow(1.25, steps), kMinScale, kMaxScale);
}

}  // namespace pagelift
