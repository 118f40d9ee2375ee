#pragma once

#include <vector>

namespace pagelift {

// A control's place in pixels, as laid out for the window's starting size.
struct ControlPlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const ControlPlace&) const = default;
};

// The edges of the window a control keeps its distance to when the window
// grows beyond its starting size.
enum class Follow {
    Nothing,       // stays where it is (top left)
    Right,         // moves right with the window's right edge
    Width,         // keeps both sides: grows as wide as the window grows
    WidthBottom,   // grows in width and moves down with the bottom edge
    Size,          // grows in width and height
};

// Where a control laid out at `start` belongs once the window is `grownX`
// pixels wider and `grownY` taller than its starting size. A window smaller
// than its start (negative growth) gives the starting place.
ControlPlace grownPlace(const ControlPlace& start, Follow follow, int grownX, int grownY);

// The widths of a list's columns as shares of its width, so that columns
// keep their proportions when the list grows or shrinks, also after the user
// has dragged them. The last column is not held: it fills what is left.
class ColumnShares {
public:
    // Takes the widths of the columns but the last, in a list `listWidth` wide.
    void take(const std::vector<int>& widths, int listWidth);

    // The widths for a list `listWidth` wide, each at least 1 pixel; empty
    // before take().
    std::vector<int> widthsFor(int listWidth) const;

private:
    std::vector<double> shares_;
};

}  // namespace pagelift
