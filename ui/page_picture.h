#pragma once

#include "raster/page_bitmap.h"

#include <cstdint>
#include <vector>

namespace pagelift {

// A page as the preview draws it: 8-bit gray, 0 black, 255 white, rows top
// to bottom, width bytes each.
struct PagePicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> gray;

    uint8_t at(int x, int y) const { return gray[size_t(y) * size_t(width) + size_t(x)]; }
};

// The page's shape with square pixels: its width by its rows repeated
// rowFactor times (a standard-resolution page is twice as tall as its rows).
struct PageShape {
    int width = 0;
    int height = 0;
};
PageShape trueShapeOf(const PageBitmap& page);

// The page drawn at `width` x `height` pixels over its true shape. Each
// picture pixel is the share of white in the page pixels it covers (at
// least one: when enlarged, the page pixel under it). Empty when the page
// has no pixels or a size is below 1.
PagePicture pictureOf(const PageBitmap& page, int width, int height);

// The picture's height for `width` at the page's true proportions (at
// least 1); 0 for a page without pixels.
int heightAtWidth(const PageShape& shape, int width);

// How large the preview draws a page: to the view's width (the start), to
// the whole page in the view, or at a scale the user zoomed to.
class PreviewZoom {
public:
    enum class Fit { Width, Page, Free };

    // The page pixels' scale for a page of `shape` in a view of
    // `viewWidth` x `viewHeight`, within the bounds below.
    double scaleFor(const PageShape& shape, int viewWidth, int viewHeight) const;

    void fitWidth() { fit_ = Fit::Width; }
    void fitPage() { fit_ = Fit::Page; }
    // Zooms by `steps` wheel notches (negative: out) from the scale shown now.
    void zoomBy(int steps, double shownScale);
    Fit fit() const { return fit_; }

    // The bounds of every scale: a twentieth to four times the page, and
    // never a picture above kMaxPicturePixels.
    static constexpr double kMinScale = 0.05;
    static constexpr double kMaxScale = 4.0;
    static constexpr int64_t kMaxPicturePixels = 40'000'000;
    static double bounded(double scale, const PageShape& shape);

private:
    Fit fit_ = Fit::Width;
    double scale_ = 1.0;
};

}  // namespace pagelift
