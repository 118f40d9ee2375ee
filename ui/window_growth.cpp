#include "ui/window_growth.h"

#include <algorithm>
#include <cmath>

namespace pagelift {

ControlPlace grownPlace(const ControlPlace& start, Follow follow, int grownX, int grownY)
{
    const int dx = std::max(0, grownX);
    const int dy = std::max(0, grownY);
    ControlPlace place = start;
    switch (follow) {
    case Follow::Nothing: break;
    case Follow::Right: place.x += dx; break;
    case Follow::Width: place.width += dx; break;
    case Follow::WidthBottom:
        place.width += dx;
        place.y += dy;
        break;
    case Follow::Size:
        place.width += dx;
        place.height += dy;
        break;
    }
    return place;
}

void ColumnShares::take(const std::vector<int>& widths, int listWidth)
{
    shares_.clear();
    if (listWidth <= 0) return;
    for (const int width : widths) shares_.push_back(static_cast<double>(width) / listWidth);
}

std::vector<int> ColumnShares::widthsFor(int listWidth) const
{
    std::vector<int> widths;
    for (const double share : shares_) {
        widths.push_back(std::max(1, static_cast<int>(std::lround(share * listWidth))));
    }
    return widths;
}

}  // namespace pagelift
